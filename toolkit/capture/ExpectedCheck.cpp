#include "toolkit/capture/ExpectedCheck.h"

#include <nlohmann/json.hpp>

namespace Corvane::capture {
namespace {

std::string quotedOrNone(const std::string& text) { return text.empty() ? "none" : "\"" + text + "\""; }

}  // namespace

std::vector<std::string> differencesFromExpected(const profile::Expectation& expected, const SurveyResult& result) {
    std::vector<std::string> differences;
    if (expected.type != result.verdict.type) {
        differences.push_back("type: expected " + std::to_string(expected.type) + ", got " +
                              std::to_string(result.verdict.type));
    }
    if (expected.name != result.verdict.name) {
        differences.push_back("name: expected " + quotedOrNone(expected.name) + ", got " +
                              quotedOrNone(result.verdict.name));
    }
    if (expected.decidedBy != result.decidedBy) {
        differences.push_back("decidedBy: expected " + quotedOrNone(expected.decidedBy) + ", got " +
                              quotedOrNone(result.decidedBy));
    }
    return differences;
}

std::string checkedSurveyLine(const std::string& machine, const SurveyResult& result,
                              const std::optional<profile::Expectation>& expected) {
    auto document = nlohmann::ordered_json::parse(surveyLine(machine, result));
    if (!expected) {
        document["asExpected"] = nullptr;
        document["differences"] = nlohmann::ordered_json::array();
    } else {
        const std::vector<std::string> differences = differencesFromExpected(*expected, result);
        document["asExpected"] = differences.empty();
        document["differences"] = differences;
    }
    return document.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace Corvane::capture
