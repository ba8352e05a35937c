// Which checks an explanation counts as a detector's own, held to what the
// detectors do: a check is its own exactly when running it asks the machine
// something, since the base class's check answers no without asking.

#include <gtest/gtest.h>

#include "support/SimulatedMachineTest.h"
#include "toolkit/explain/Explanation.h"
#include "toolkit/explain/KnownDetectors.h"

namespace Corvane::explain {
namespace {

using utils::vmdetection::VMDetectionDefault;
using utils::vmdetection::VMDetectionManager;

class KnownDetectorsTest : public testing::SimulatedMachineTest {};

TEST_F(KnownDetectorsTest, AnExplainedCheckIsTheDetectorsOwnExactlyWhenItAsksTheMachine) {
    auto& machine = start();
    VMDetectionManager manager;
    EXPECT_TRUE(knownDetector(*manager.getGeneralDetector()).has_value());
    const Explanation explanation = explainDetection(manager);

    const auto& slots = VMDetectionDefault::checkSlots();
    for (size_t d = 0; d < manager.getDetectors().size(); ++d) {
        VMDetectionDefault& detector = *manager.getDetectors()[d];
        const DetectorOutcome& outcome = explanation.detectors.at(d + 1);
        EXPECT_TRUE(knownDetector(detector).has_value()) << outcome.detector << ": a class the tools do not know";
        for (size_t i = 0; i < slots.size(); ++i) {
            machine.clearCalls();
            (detector.*slots[i].check)();
            EXPECT_EQ(outcome.checks.at(i).own, !machine.calls().empty()) << outcome.detector << "." << slots[i].name;
        }
    }
}

}  // namespace
}  // namespace Corvane::explain
