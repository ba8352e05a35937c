// What the tools know of each detector class, held to what the detectors do:
// a check is a detector's own exactly when running it asks the machine
// something, since the base class's check answers no without asking.

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "support/SimulatedMachineTest.h"
#include "toolkit/explain/KnownDetectors.h"
#include "vmdetection/VMDetectionManager.h"

namespace Corvane::explain {
namespace {

using utils::vmdetection::VMDetectionDefault;
using utils::vmdetection::VMDetectionManager;

class KnownDetectorsTest : public testing::SimulatedMachineTest {};

TEST_F(KnownDetectorsTest, EveryDetectorIsKnownAndOwnsExactlyTheChecksThatAskTheMachine) {
    auto& machine = start();
    VMDetectionManager manager;
    std::vector<VMDetectionDefault*> detectors{manager.getGeneralDetector()};
    for (const auto& detector : manager.getDetectors()) detectors.push_back(detector.get());

    for (VMDetectionDefault* detector : detectors) {
        const std::optional<KnownDetector> known = knownDetector(*detector);
        ASSERT_TRUE(known.has_value()) << detector->getName() << ": a detector class the tools do not know";
        for (size_t i = 0; i < VMDetectionDefault::kCheckCount; ++i) {
            const VMDetectionDefault::CheckSlot& slot = VMDetectionDefault::checkSlots()[i];
            machine.clearCalls();
            (detector->*slot.check)();
            EXPECT_EQ(known->own[i], !machine.calls().empty()) << known->identifier << "." << slot.name;
        }
    }
}

}  // namespace
}  // namespace Corvane::explain
