#include <gtest/gtest.h>

#include "toolkit/profile/ProfileBuilder.h"
#include "support/SimulatedMachineTest.h"
#include "vmdetection/VirtualPCDetection.h"

namespace Corvane::utils::vmdetection {
namespace {

using namespace Corvane::profile;

const std::wstring kGuestParameters = L"SOFTWARE\\Microsoft\\Virtual Machine\\Guest\\Parameters";

class VirtualPCDetectionTest : public Corvane::testing::SimulatedMachineTest {
protected:
    VirtualPCDetection detector;
};

TEST_F(VirtualPCDetectionTest, NoCheckFindsASignOnAPhysicalMachine) {
    start();
    EXPECT_FALSE(detector.detect());
}

TEST_F(VirtualPCDetectionTest, TheAdditionsServicesCountUnderTheirExactNames) {
    auto& machine = start();
    for (const wchar_t* name : {L"vmsrvc.exe", L"VMSRVC.EXE", L"vmusrvc.exe"}) addProcess(machine.profile(), name);
    EXPECT_FALSE(detector.checkProcesses());
    for (const wchar_t* name : {L"VMSrvc.exe", L"VMUSrvc.exe"}) {
        addProcess(machine.profile(), name);
        EXPECT_TRUE(detector.checkProcesses());
        removeProcess(machine.profile(), name);
    }
}

TEST_F(VirtualPCDetectionTest, TheGuestParametersKeyMustOpenUnderHklm) {
    addRegistryKey(profile, L"HKCU", kGuestParameters);
    auto& machine = start();
    EXPECT_FALSE(detector.checkRegistryKeys());
    addRegistryKey(machine.profile(), L"HKLM", kGuestParameters).accessDenied = true;
    EXPECT_FALSE(detector.checkRegistryKeys());
    findRegistryKey(machine.profile(), L"HKLM", kGuestParameters)->accessDenied = false;
    EXPECT_TRUE(detector.checkRegistryKeys());
}

TEST_F(VirtualPCDetectionTest, ARunningServiceEndsTheDetectionBeforeTheRegistryIsAsked) {
    addProcess(profile, L"VMSrvc.exe");
    addRegistryKey(profile, L"HKLM", kGuestParameters);
    auto& machine = start();
    EXPECT_TRUE(detector.detect());
    EXPECT_EQ(machine.countCalls("RegOpenKeyExW"), 0u);
}

}  // namespace
}  // namespace Corvane::utils::vmdetection
