// The real detectors on a simulated machine: product detectors see the WMI
// connection as DetectVM leaves it for them, even when a later general step
// would break it.

#include <gtest/gtest.h>

#include <memory>

#include "support/SimulatedMachineTest.h"
#include "support/VerdictPrinter.h"
#include "toolkit/explain/Explanation.h"
#include "toolkit/explain/MachineExplanation.h"
#include "vmdetection/GeneralDetection.h"
#include "vmdetection/VirtualBoxDetection.h"

namespace Corvane::explain {
namespace {

using utils::vmdetection::GeneralDetection;
using utils::vmdetection::VMDetectionManager;

constexpr uint64_t kHalfGiB = 512ull * 1024 * 1024;

class GeneralStepsExplanationTest : public testing::SimulatedMachineTest {};

TEST_F(GeneralStepsExplanationTest, ProductDetectorsSeeTheWmiConnectionAsDetectVMLeavesIt) {
    // The gate opens at step 2; the query of step 9 would fail and drop the
    // WMI connection, and the only VirtualBox sign is read through WMI.
    profile.system.totalPhysicalMemory = kHalfGiB;
    profile.wmi.faults.execQueryByClass[L"Win32_CacheMemory"] = static_cast<int32_t>(WBEM_E_FAILED);
    profile::setWmiValue(profile, L"Win32_BaseBoard", L"Manufacturer", profile::wmiText(L"Oracle Corporation"));
    auto& machine = start();

    const Explanation explanation = explainSimulatedMachine(machine);
    ASSERT_TRUE(explanation.reported.has_value());
    EXPECT_EQ(*explanation.reported, (Verdict{4, "VirtualBox"}));
    EXPECT_EQ(explanation.verdict, (Verdict{4, "VirtualBox"}));
    EXPECT_EQ(explanation.gate, "GeneralDetection.checkMemorySize");
    EXPECT_EQ(explanation.decidedBy, "VirtualBoxDetection.checkWmiBaseBoard");
    EXPECT_TRUE(explanation.agrees());

    // Had the steps after the gate run first, the sign would have been lost.
    VMDetectionManager manager;
    auto* general = dynamic_cast<GeneralDetection*>(manager.getGeneralDetector());
    ASSERT_NE(general, nullptr);
    for (const auto& step : GeneralDetection::steps()) (general->*step.test)();
    EXPECT_FALSE(manager.getDetectors().at(0)->checkWmiBaseBoard());
}

}  // namespace
}  // namespace Corvane::explain
