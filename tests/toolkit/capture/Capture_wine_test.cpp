// A capture of Wine's real Win32, replayed: the library's code on the
// recorded machine, plain and redacted, must explain exactly what it
// explains on the live one.  That the capture records what each check
// reads is what this shows; what it records is Wine's business.

#include <gtest/gtest.h>

#include "toolkit/capture/CaptureMachine.h"
#include "toolkit/capture/ExplanationComparison.h"
#include "toolkit/capture/Redaction.h"
#include "toolkit/capture/Replay.h"
#include "toolkit/explain/Explanation.h"
#include "toolkit/profile/ProfileJson.h"
#include "vmdetection/VMDetectionManager.h"

namespace Corvane::capture {
namespace {

using explain::Explanation;
using profile::MachineProfile;

TEST(CaptureOnWine, ReplayPlainAndRedactedExplainsExactlyAsTheLiveRun) {
    const MachineProfile captured = captureMachine();
    utils::vmdetection::VMDetectionManager manager;
    const Explanation live = explain::explainDetection(manager);

    // Through the file form, as support receives it.
    const Explanation replayed = replayMachine(profile::parseProfile(profile::toJson(captured)));
    testing::expectSameExplanation(live, replayed);
    ASSERT_TRUE(replayed.reported.has_value());
    EXPECT_EQ(*replayed.reported, live.verdict) << "DetectVM on the replayed machine";

    MachineProfile redacted = captured;
    redactProfile(redacted);
    EXPECT_NE(redacted.source.find("redacted"), std::string::npos);
    testing::expectSameExplanation(live, replayMachine(profile::parseProfile(profile::toJson(redacted))),
                                   testing::redactedShape);
}

}  // namespace
}  // namespace Corvane::capture
