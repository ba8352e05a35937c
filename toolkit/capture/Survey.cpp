#include "toolkit/capture/Survey.h"

#include <nlohmann/json.hpp>

#include "toolkit/simulation/SimulatedMachine.h"
#include "vmdetection/VMDetectionManager.h"

namespace Corvane::capture {
namespace {

using nlohmann::ordered_json;

ordered_json textOrNull(const std::string& text) { return text.empty() ? ordered_json(nullptr) : ordered_json(text); }

// A stray byte in a profile's description must not cost the line.
std::string dumpLine(const ordered_json& document) {
    return document.dump(-1, ' ', false, ordered_json::error_handler_t::replace);
}

}  // namespace

SurveyResult summarise(const explain::Explanation& explanation) {
    SurveyResult result{explanation.verdict, explanation.gate, explanation.decidedBy, {}};
    for (const auto& detector : explanation.detectors) {
        for (const auto& check : detector.checks) {
            if (check.sign) result.signs.push_back(detector.detector + "." + check.check);
        }
    }
    return result;
}

SurveyResult surveyMachine(const profile::MachineProfile& machine) {
    simulated::SimulatedMachine simulated(machine);
    SurveyResult result;
    {
        auto binding = simulated.bind();
        utils::vmdetection::VMDetectionManager manager;
        result = summarise(explain::explainDetection(manager));
    }
    return result;
}

std::string machineName(const profile::MachineProfile& machine, const std::string& where) {
    return machine.description.empty() ? where : machine.description;
}

std::string surveyLine(const std::string& machine, const SurveyResult& result) {
    const ordered_json document = {{"machine", machine},
                                   {"type", result.verdict.type},
                                   {"name", result.verdict.name},
                                   {"gate", textOrNull(result.gate)},
                                   {"decidedBy", textOrNull(result.decidedBy)},
                                   {"signs", result.signs}};
    return dumpLine(document);
}

std::string surveyErrorLine(const std::string& machine, const std::string& error) {
    return dumpLine(ordered_json{{"machine", machine}, {"error", error}});
}

}  // namespace Corvane::capture
