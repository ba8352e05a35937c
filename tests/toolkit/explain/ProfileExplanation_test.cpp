// Every machine profile of the fixtures, explained: the explanation agrees with
// what DetectVM answers on that machine, and with the verdict and deciding
// check the profile records.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "toolkit/explain/VerdictPrinter.h"
#include "toolkit/explain/ExplanationRender.h"
#include "toolkit/explain/MachineExplanation.h"
#include "support/SimulatedMachineTest.h"

namespace Corvane::diagnostics::explain {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> allProfiles() {
    std::vector<fs::path> files;
    std::error_code error;
    const fs::path root = fs::path(CORVANE_FIXTURES_DIR) / "profiles";
    for (auto it = fs::recursive_directory_iterator(root, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        if (it->is_regular_file() && it->path().extension() == ".json") files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

class ProfileExplanationTest : public testing::SimulatedMachineTest, public ::testing::WithParamInterface<fs::path> {};

TEST_P(ProfileExplanationTest, AgreesWithDetectVMAndWithTheRecordedVerdict) {
    profile = profile::loadProfileFile(GetParam());
    auto& machine = start();

    const Explanation explanation = explainSimulatedMachine(machine);
    SCOPED_TRACE(renderText(explanation));

    ASSERT_TRUE(explanation.reported.has_value());
    EXPECT_TRUE(explanation.agrees()) << disagreementWarning(explanation);
    EXPECT_EQ(explanation.verdict.recognised(), !explanation.decidedBy.empty());
    if (explanation.verdict.recognised()) {
        EXPECT_FALSE(explanation.gate.empty());
    }

    if (machine.profile().expected) {
        const profile::Expectation& expected = *machine.profile().expected;
        EXPECT_EQ(explanation.verdict, (Verdict{expected.type, expected.name}));
        EXPECT_EQ(explanation.decidedBy, expected.decidedBy);
    }
}

TEST(ProfileExplanation, TheFixturesHoldProfiles) { EXPECT_FALSE(allProfiles().empty()); }

std::string profileTestName(const ::testing::TestParamInfo<fs::path>& info) {
    fs::path relative = info.param.lexically_relative(fs::path(CORVANE_FIXTURES_DIR) / "profiles");
    std::string name = relative.replace_extension().generic_string();
    std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ProfileExplanationTest, ::testing::ValuesIn(allProfiles()), profileTestName);

}  // namespace
}  // namespace Corvane::diagnostics::explain
