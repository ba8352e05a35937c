#include <gtest/gtest.h>

#include "toolkit/profile/ProfileBuilder.h"
#include "support/SimulatedMachineTest.h"
#include "vmdetection/ParallelsDetection.h"

namespace Corvane::utils::vmdetection {
namespace {

using namespace Corvane::profile;

class ParallelsDetectionTest : public Corvane::testing::SimulatedMachineTest {
protected:
    ParallelsDetection detector;
};

TEST_F(ParallelsDetectionTest, NoCheckFindsASignOnAPhysicalMachine) {
    start();
    EXPECT_FALSE(detector.detect());
}

TEST_F(ParallelsDetectionTest, EitherToolsProcessCountsUnderItsExactName) {
    auto& machine = start();
    addProcess(machine.profile(), L"PRL_CC.EXE");
    EXPECT_FALSE(detector.checkProcesses());
    for (const wchar_t* name : {L"prl_cc.exe", L"prl_tools.exe"}) {
        addProcess(machine.profile(), name);
        EXPECT_TRUE(detector.checkProcesses());
        removeProcess(machine.profile(), name);
    }
}

TEST_F(ParallelsDetectionTest, TheParallelsPrefixOfASixByteAddressIsASign) {
    auto& machine = start();
    auto& adapter = addAdapter(machine.profile(), "00:1C:42:1F:2A:03", "Parallels VirtIO Ethernet Adapter");
    EXPECT_TRUE(detector.checkMacAddresses());
    adapter.addressLength = 7;
    EXPECT_FALSE(detector.checkMacAddresses());
    for (const char* address : {"00:1C:43:1F:2A:03", "00:1D:42:1F:2A:03", "01:1C:42:1F:2A:03"}) {
        machine.profile().adapters.back() = {"Parallels VirtIO Ethernet Adapter", 6, parseMacAddress(address), ""};
        EXPECT_FALSE(detector.checkMacAddresses()) << address;
    }
}

TEST_F(ParallelsDetectionTest, AMachineWithoutAdaptersShowsNoAddressSign) {
    profile.adapters.clear();
    profile.system.adaptersInfoError = 232;  // ERROR_NO_DATA
    start();
    EXPECT_FALSE(detector.checkMacAddresses());
}

}  // namespace
}  // namespace Corvane::utils::vmdetection
