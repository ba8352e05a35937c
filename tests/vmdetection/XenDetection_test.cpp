#include <gtest/gtest.h>

#include "toolkit/profile/ProfileBuilder.h"
#include "support/SimulatedMachineTest.h"
#include "vmdetection/XenDetection.h"

namespace Corvane::utils::vmdetection {
namespace {

using namespace Corvane::profile;

class XenDetectionTest : public Corvane::testing::SimulatedMachineTest {
protected:
    XenDetection detector;
};

TEST_F(XenDetectionTest, NoCheckFindsASignOnAPhysicalMachine) {
    start();
    EXPECT_FALSE(detector.detect());
}

TEST_F(XenDetectionTest, TheGuestServiceCountsUnderItsExactName) {
    auto& machine = start();
    addProcess(machine.profile(), L"XenService.exe");
    EXPECT_FALSE(detector.checkProcesses());
    addProcess(machine.profile(), L"xenservice.exe");
    EXPECT_TRUE(detector.checkProcesses());
}

TEST_F(XenDetectionTest, TheXenPrefixOfASixByteAddressIsASign) {
    auto& machine = start();
    auto& adapter = addAdapter(machine.profile(), "00:16:3E:5A:11:02", "XenServer PV Network Device #0");
    EXPECT_TRUE(detector.checkMacAddresses());
    adapter.addressLength = 4;
    EXPECT_FALSE(detector.checkMacAddresses());
    for (const char* address : {"00:16:3F:5A:11:02", "00:17:3E:5A:11:02", "10:16:3E:5A:11:02"}) {
        machine.profile().adapters.back() = {"XenServer PV Network Device #0", 6, parseMacAddress(address), ""};
        EXPECT_FALSE(detector.checkMacAddresses()) << address;
    }
}

TEST_F(XenDetectionTest, AMachineWithoutAdaptersShowsNoAddressSign) {
    profile.adapters.clear();
    profile.system.adaptersInfoError = 232;  // ERROR_NO_DATA
    start();
    EXPECT_FALSE(detector.checkMacAddresses());
}

}  // namespace
}  // namespace Corvane::utils::vmdetection
