// The corpus of machine profiles, replayed: each gives its recorded verdict
// through its recorded deciding check; its redacted form explains the same;
// and a capture of it, simulated, replays to its own explanation.

#include <gtest/gtest.h>

#include <sstream>

#include <nlohmann/json.hpp>

#include "cli/ProfileInput.h"
#include "toolkit/capture/CaptureMachine.h"
#include "toolkit/capture/ExpectedCheck.h"
#include "toolkit/capture/ExplanationComparison.h"
#include "toolkit/capture/Redaction.h"
#include "toolkit/capture/Replay.h"
#include "toolkit/capture/Survey.h"
#include "toolkit/explain/ExplanationRender.h"
#include "toolkit/profile/ProfileBuilder.h"
#include "toolkit/profile/ProfileJson.h"
#include "toolkit/simulation/SimulatedMachine.h"

namespace Corvane::capture {
namespace {

using profile::MachineProfile;

// The corpus: every *.json under tests/fixtures/profiles, at any depth, as a
// folder given to `replay` is read, so that a new folder of profiles is
// replayed without a change here.
const std::filesystem::path kCorpus = std::filesystem::path(CORVANE_FIXTURES_DIR) / "profiles";

// "hosts_wsl_plain" for hosts/wsl/plain.json: the path under the corpus, fit for a test name.
std::string corpusProfileName(const ::testing::TestParamInfo<std::filesystem::path>& info) {
    std::string name = std::filesystem::relative(info.param, kCorpus).replace_extension().generic_string();
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
}

class CorpusProfile : public ::testing::TestWithParam<std::filesystem::path> {};

// What `replay --explain --json` prints, in a survey's terms.
SurveyResult fromExplainJson(const std::string& text) {
    const auto document = nlohmann::json::parse(text);
    const auto textOf = [](const nlohmann::json& value) -> std::string {
        return value.is_null() ? "" : value.get<std::string>();
    };
    SurveyResult result{{document["verdict"]["type"], document["verdict"]["name"]},
                        textOf(document["gate"]),
                        textOf(document["decidedBy"]),
                        {}};
    for (const auto& detector : document["detectors"]) {
        for (const auto& check : detector["checks"]) {
            if (check["sign"])
                result.signs.push_back(textOf(detector["detector"]) + "." + check["check"].get<std::string>());
        }
    }
    return result;
}

TEST_P(CorpusProfile, ReplayGivesItsRecordedVerdictAndDecidingCheck) {
    const MachineProfile machine = profile::loadProfileFile(GetParam());
    ASSERT_TRUE(machine.expected.has_value()) << "every corpus profile says what the library must answer";
    const profile::Expectation& expected = *machine.expected;
    EXPECT_FALSE(expected.why.empty());
    EXPECT_FALSE(machine.source.empty()) << "every corpus profile cites where its facts come from";

    const auto explanation = replayMachine(machine);
    ASSERT_TRUE(explanation.reported.has_value());
    EXPECT_EQ(explanation.reported->type, expected.type);
    EXPECT_EQ(explanation.reported->name, expected.name);
    EXPECT_EQ(explanation.decidedBy, expected.decidedBy);
    EXPECT_TRUE(explanation.agrees()) << "the explanation's verdict is DetectVM's";
    EXPECT_EQ(explanation.verdict.recognised(), !explanation.decidedBy.empty());
    if (explanation.verdict.recognised()) {
        EXPECT_FALSE(explanation.gate.empty()) << "products are asked only past the gate";
    }
    std::istringstream text(explain::renderText(explanation));
    for (std::string line; std::getline(text, line);) EXPECT_LE(line.size(), 80u) << "wider than a terminal: " << line;

    // A survey of the machine says what its explanation says.
    const SurveyResult surveyed = surveyMachine(machine);
    EXPECT_EQ(surveyLine("", surveyed), surveyLine("", fromExplainJson(explain::renderJson(explanation))));
    EXPECT_TRUE(differencesFromExpected(expected, surveyed).empty()) << "replay --check agrees";
}

// Also when the machine's names are one letter, or words device paths use.
TEST_P(CorpusProfile, RedactedReplayExplainsTheSame) {
    for (const auto& [computer, user] : {std::pair{L"", L""}, {L"A", L"root"}, {L"VM", L"pci"}}) {
        MachineProfile machine = profile::loadProfileFile(GetParam());
        if (*computer) {
            profile::setWmiValue(machine, L"Win32_ComputerSystem", L"Name", profile::wmiText(computer));
            profile::setWmiValue(machine, L"Win32_ComputerSystem", L"UserName",
                                 profile::wmiText(std::wstring(computer) + L"\\" + user));
        }
        MachineProfile redacted = machine;
        redactProfile(redacted);
        testing::expectSameExplanation(replayMachine(machine),
                                       replayMachine(profile::parseProfile(profile::toJson(redacted))),
                                       testing::redactedShape);
    }
}

// The recorder reads what the checks read, releases what it takes, and
// writes it down so that the replay decides as the machine did.
TEST_P(CorpusProfile, ItsCaptureReplaysToItsOwnExplanation) {
    const MachineProfile machine = profile::loadProfileFile(GetParam());
    simulated::SimulatedMachine simulated(machine);
    MachineProfile recorded;
    {
        auto binding = simulated.bind();
        recorded = captureMachine(simulated.api());
    }
    EXPECT_EQ(simulated.outstandingResources(), std::vector<std::string>{});
    EXPECT_EQ(simulated.invalidReleases(), std::vector<std::string>{});
    testing::expectSameExplanation(replayMachine(machine),
                                   replayMachine(profile::parseProfile(profile::toJson(recorded))));
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusProfile, ::testing::ValuesIn(cli::profilesInFolder(kCorpus)), corpusProfileName);

// replay --check and survey --check name each field that differs; a survey
// line names a machine by its description, by where it was read only without one.
TEST(ExpectedCheck, NamesEachFieldThatDiffersAndEachMachine) {
    const profile::Expectation vbox{4, "VirtualBox", "VirtualBoxDetection.checkProcesses", "why"};
    const auto differences = [&](int32_t type, const char* name, const char* decidedBy) {
        SurveyResult result;
        result.verdict.type = type;
        result.verdict.name = name;
        result.decidedBy = decidedBy;
        return differencesFromExpected(vbox, result);
    };
    using Lines = std::vector<std::string>;
    EXPECT_EQ(differences(4, "VirtualBox", "VirtualBoxDetection.checkProcesses"), Lines{});
    EXPECT_EQ(differences(1, "", ""), (Lines{"type: expected 4, got 1", "name: expected \"VirtualBox\", got none",
                                             "decidedBy: expected \"VirtualBoxDetection.checkProcesses\", got none"}));
    EXPECT_EQ(
        differences(4, "VirtualBox", "VirtualBoxDetection.checkFiles"),
        Lines{"decidedBy: expected \"VirtualBoxDetection.checkProcesses\", got \"VirtualBoxDetection.checkFiles\""});

    MachineProfile machine;
    EXPECT_EQ(machineName(machine, "a.json"), "a.json");
    machine.description = "Dell XPS";
    EXPECT_EQ(machineName(machine, "a.json"), "Dell XPS");
}

}  // namespace
}  // namespace Corvane::capture
