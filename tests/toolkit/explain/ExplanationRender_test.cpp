// The text and JSON forms of an explanation: the documented JSON fields parse
// back with their values, and the text marks what decided the verdict.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "toolkit/explain/ExplanationRender.h"
#include "toolkit/explain/TextWrap.h"

namespace Corvane::explain {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

CheckOutcome check(std::string name, bool sign, bool reached, bool decisive = false,
                   std::vector<Artefact> evidence = {}) {
    return {std::move(name), sign, reached, decisive, true, std::move(evidence), {}, 1500us};
}

// The gate opened at its second step; Alpha wins at its second check; Beta is
// never asked although it shows a sign.
Explanation sample() {
    Explanation explanation;
    explanation.machine = "test machine";
    explanation.libraryVersion = "1.0.0.0";
    explanation.verdict = {4, "Alpha"};
    explanation.gate = "GeneralDetection.checkMemorySize";
    explanation.decidedBy = "AlphaDetection.checkProcesses";
    explanation.elapsed = 42ms;
    explanation.reported = Verdict{4, "Alpha"};

    DetectorOutcome gate{"GeneralDetection", "Unknown Virtual Machine", 10, DetectorRole::Gate, true, {}};
    gate.checks = {check("checkDiskDriveHardwareIds", false, true),
                   check("checkMemorySize", true, true, true, {{"memory size", "536870912 bytes"}}),
                   check("checkBiosSerialNumber", true, false, false, {{"WMI value", "0"}})};
    DetectorOutcome alpha{"AlphaDetection", "Alpha", 4, DetectorRole::Product, true, {}};
    alpha.checks = {check("checkAdapterDescriptions", false, true),
                    check("checkProcesses", true, true, true, {{"process", "alpha.exe"}, {"process", "alpha2.exe"}}),
                    check("checkFiles", true, false)};
    alpha.checks[0].own = false;  // inherited: summed up in the text, kept in JSON
    alpha.checks[1].hostHints = {"", "a host's own"};
    DetectorOutcome beta{"BetaDetection", "Beta", 8, DetectorRole::Product, false, {}};
    beta.checks = {check("checkProcesses", true, false, false, {{"process", "beta.exe"}})};
    explanation.detectors = {gate, alpha, beta};
    return explanation;
}

// Every one of `parts` is somewhere in the text.
void expectSays(const std::string& text, std::initializer_list<const char*> parts) {
    for (const char* part : parts) EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
}

TEST(ExplanationJson, ParsesBackWithTheDocumentedFields) {
    const json document = json::parse(renderJson(sample()));

    EXPECT_EQ(document.at("machine"), "test machine");
    EXPECT_EQ(document.at("libraryVersion"), "1.0.0.0");
    EXPECT_EQ(document.at("verdict"), (json{{"type", 4}, {"name", "Alpha"}, {"recognised", true}}));
    EXPECT_EQ(document.at("gate"), "GeneralDetection.checkMemorySize");
    EXPECT_EQ(document.at("decidedBy"), "AlphaDetection.checkProcesses");
    EXPECT_EQ(document.at("detectVM"), (json{{"type", 4}, {"name", "Alpha"}, {"recognised", true}}));
    EXPECT_EQ(document.at("agrees"), true);
    EXPECT_EQ(document.at("nanoseconds"), 42000000);

    const json& detectors = document.at("detectors");
    ASSERT_EQ(detectors.size(), 3u);
    json gate = detectors[0];
    gate.erase("checks");
    EXPECT_EQ(gate, json::parse(R"({"detector": "GeneralDetection", "name": "Unknown Virtual Machine", "role": "gate",
                                    "type": 10, "asked": true, "sign": true})"));
    EXPECT_EQ(detectors[1].at("role"), "product");
    EXPECT_EQ(detectors[2].at("asked"), false);
    EXPECT_EQ(detectors[2].at("sign"), true);
    const json evidence = json::array(
        {{{"kind", "process"}, {"value", "alpha.exe"}, {"hostArtefact", nullptr}},
         {{"kind", "process"}, {"value", "alpha2.exe"}, {"hostArtefact", "a host's own"}}});
    auto checkJson = [](const char* name, bool own, bool sign, bool reached, bool decisive, json noted) {
        return json{{"check", name},      {"own", own},           {"sign", sign},
                    {"reached", reached}, {"decisive", decisive}, {"nanoseconds", 1500000},
                    {"evidence", noted}};
    };
    EXPECT_EQ(detectors[1].at("checks"),
              json::array({checkJson("checkAdapterDescriptions", false, false, true, false, json::array()),
                           checkJson("checkProcesses", true, true, true, true, evidence),
                           checkJson("checkFiles", true, true, false, false, json::array())}));
}

TEST(ExplanationText, MarksTheGateTheDecisionAndWhatDetectVMNeverAsks) {
    const std::string text = renderText(sample());

    expectSays(text, {"Verdict:      Alpha (type 4)\n", "Gate:         opened by GeneralDetection.checkMemorySize\n",
                      "Decided by:   AlphaDetection.checkProcesses\n", "DetectVM:     Alpha (type 4), agrees\n",
                      "the gate\n   1  checkDiskDriveHardwareIds           -     1.500 ms\n",
                      "checkMemorySize                   SIGN    1.500 ms  <- opened the gate\n",
                      "checkBiosSerialNumber             SIGN    1.500 ms  (not reached)\n",
                      "checkProcesses                    SIGN    1.500 ms  <- decided the verdict\n"
                      "          process: alpha.exe\n"
                      "          process: alpha2.exe  (host artefact: a host's own)\n",
                      "checkFiles                        SIGN    1.500 ms  (not reached)\n"
                      "        1 check this detector does not have: always no, Windows is not asked\n",
                      // Beta is not asked at all: its heading says so, its checks carry no mark.
                      "BetaDetection: Beta (type 8), not asked by DetectVM\n"
                      "   1  checkProcesses                    SIGN    1.500 ms\n"});
    EXPECT_EQ(text.find("checkAdapterDescriptions"), std::string::npos) << "an inherited check is only counted";
    EXPECT_EQ(text.find("WARNING"), std::string::npos) << text;
}

// No gate, no deciding check, an artefact that is not UTF-8 and a DetectVM
// that answered otherwise: null in JSON, said in words and shouted in the text.
TEST(ExplanationRender, MissingFactsAndADisagreement) {
    Explanation explanation = sample();
    explanation.gate.clear();
    explanation.decidedBy.clear();
    explanation.libraryVersion.clear();
    explanation.verdict = {1, ""};
    explanation.reported = Verdict{7, "Wine"};
    explanation.detectors[1].checks[1].evidence[0].value = "bad \xff\xfe byte";  // still renders

    const json document = json::parse(renderJson(explanation));
    EXPECT_TRUE(document.at("gate").is_null());
    EXPECT_TRUE(document.at("decidedBy").is_null());
    EXPECT_TRUE(document.at("libraryVersion").is_null());
    EXPECT_EQ(document.at("verdict").at("recognised"), false);
    EXPECT_EQ(document.at("detectVM").at("type"), 7);
    EXPECT_EQ(document.at("agrees"), false);

    expectSays(renderText(explanation), {"DetectVM:     Wine (type 7), DISAGREES\n",
                                         "WARNING: DetectVM answered Wine (type 7), but the checks run for this\n"
                                         "         explanation give no product (type 1)",
                                         "Gate:         closed", "Decided by:   nothing"});
    EXPECT_EQ(disagreementWarning(sample()), "");

    explanation.reported.reset();
    const json unasked = json::parse(renderJson(explanation));
    EXPECT_TRUE(unasked.at("detectVM").is_null());
    EXPECT_EQ(unasked.at("agrees"), true);
}

// Breaks fall between words; a word wider than a line is cut, never inside a
// UTF-8 character; continuation lines carry the indent.
TEST(TextWrap, FitsEightyColumns) {
    const std::string word78(78, 'w'), word79(79, 'w'), e = "\xc3\xa9";
    const struct {
        std::string text, wrapped;
    } rows[] = {
        {"  a b", "  a b\n"},
        {word78 + " ab cd", word78 + "\n    ab cd\n"},
        {word78 + "  ab", word78 + "\n    ab\n"},
        {word78 + "abc", word78 + "ab\n    c\n"},
        {word79 + e + "b", word79 + "\n    " + e + "b\n"},
    };
    for (const auto& row : rows) EXPECT_EQ(wrapText(row.text, 4), row.wrapped) << row.text;
}

}  // namespace
}  // namespace Corvane::explain
