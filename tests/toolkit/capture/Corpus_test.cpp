// The corpus of machine profiles replayed: each gives its expected verdict
// through its expected deciding check, and its redacted form explains the same.

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "toolkit/capture/CorpusFiles.h"
#include "toolkit/capture/ExplanationComparison.h"
#include "toolkit/capture/Redaction.h"
#include "toolkit/capture/Replay.h"
#include "toolkit/profile/ProfileJson.h"

namespace Corvane::capture {
namespace {

class CorpusProfile : public ::testing::TestWithParam<std::filesystem::path> {};

TEST_P(CorpusProfile, ReplayGivesItsExpectedVerdictAndDecidingCheck) {
    const profile::MachineProfile machine = profile::loadProfileFile(GetParam());
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
}

TEST_P(CorpusProfile, RedactedReplayExplainsTheSame) {
    const profile::MachineProfile machine = profile::loadProfileFile(GetParam());
    profile::MachineProfile redacted = machine;
    redactProfile(redacted);
    testing::expectSameExplanation(replayMachine(machine), replayMachine(profile::parseProfile(profile::toJson(redacted))),
                                   testing::redactedShape);
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusProfile, ::testing::ValuesIn(testing::corpusProfiles()),
                         testing::corpusProfileName);

TEST(Corpus, CoversPhysicalMachinesAndEveryProduct) {
    std::map<std::string, int> perFolder;
    std::set<int32_t> verdicts;
    for (const auto& file : testing::corpusProfiles()) {
        ++perFolder[file.parent_path().filename().string()];
        const auto machine = profile::loadProfileFile(file);
        if (machine.expected) verdicts.insert(machine.expected->type);
    }
    for (const char* folder : {"physical", "physical-traps", "virtualbox", "vmware", "qemu", "hyperv", "parallels", "xen"}) {
        EXPECT_GT(perFolder[folder], 0) << "no profile under " << folder;
    }
    // None, Parallels, Qemu, VirtualBox, Hyper-V, VMWare, Xen.
    for (int32_t type : {1, 2, 3, 4, 5, 6, 8}) EXPECT_EQ(verdicts.count(type), 1u) << "no profile answers type " << type;
}

}  // namespace
}  // namespace Corvane::capture
