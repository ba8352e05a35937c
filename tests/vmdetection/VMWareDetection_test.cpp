#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "toolkit/profile/ProfileBuilder.h"
#include "support/SimulatedMachineTest.h"
#include "vmdetection/DetectorTestSupport.h"
#include "vmdetection/VMWareDetection.h"

namespace Corvane::utils::vmdetection {
namespace {

using namespace Corvane::profile;
using ::testing::HasSubstr;

class VMWareDetectionTest : public Corvane::testing::SimulatedMachineTest {
protected:
    VMWareDetection detector;
    diagnostics::EvidenceCollector evidence;
};

TEST_F(VMWareDetectionTest, NoCheckFindsASignOnAPhysicalMachine) {
    start();
    for (const auto& slot : VMDetectionDefault::checkSlots()) EXPECT_FALSE((detector.*slot.check)()) << slot.name;
    EXPECT_FALSE(detector.detect());
}

TEST_F(VMWareDetectionTest, OnlyADescriptionOfExactlyVMWareCounts) {
    profile.adapters.clear();
    addAdapter(profile, "00:11:22:33:44:55", "");
    auto& machine = start();
    const struct {
        const char* description;
        bool sign;
    } cases[] = {
        {"VMWare", true},
        {"VMware Virtual Ethernet Adapter", false},  // contains the word only
        {"VMware", false},                           // other letter case
        {"VMWARE", false},
        {"VMWare ", false},
        {"vmxnet3 Ethernet Adapter", false},
    };
    for (const auto& c : cases) {
        machine.profile().adapters[0].description = c.description;
        EXPECT_EQ(detector.checkAdapterDescriptions(), c.sign) << c.description;
    }
    EXPECT_GT(machine.countCalls("MultiByteToWideChar"), 0u);
    EXPECT_THAT(Corvane::testing::evidenceText(evidence), HasSubstr("adapter description: VMWare"));
}

TEST_F(VMWareDetectionTest, TheDescriptionIsFoundBehindOtherAdapters) {
    addAdapter(profile, "00:11:22:33:44:56", "Bluetooth Device (Personal Area Network)");
    addAdapter(profile, "00:11:22:33:44:57", "VMWare");
    start();
    EXPECT_TRUE(detector.checkAdapterDescriptions());
}

TEST_F(VMWareDetectionTest, AFailedAdapterListingIsNoSign) {
    addAdapter(profile, "00:50:56:C0:00:08", "VMWare");
    auto& machine = start();
    machine.faults().failGetAdaptersInfo = true;
    EXPECT_FALSE(detector.checkAdapterDescriptions());
    EXPECT_FALSE(detector.checkMacAddresses());
}

TEST_F(VMWareDetectionTest, EachGuestProcessIsASignUnderItsExactName) {
    auto& machine = start();
    for (const wchar_t* name :
         {L"vmtoolsd.exe", L"vmwaretray.exe", L"vmwareuser.exe", L"VGAuthService.exe", L"vmacthlp.exe"}) {
        addProcess(machine.profile(), name);
        EXPECT_TRUE(detector.checkProcesses());
        removeProcess(machine.profile(), name);
    }
    for (const wchar_t* name : {L"VMToolsD.exe", L"vgauthservice.exe", L"vmtoolsd"}) {
        addProcess(machine.profile(), name);
        EXPECT_FALSE(detector.checkProcesses());
        removeProcess(machine.profile(), name);
    }
}

TEST_F(VMWareDetectionTest, EachVMwarePrefixIsASign) {
    profile.adapters.clear();
    addAdapter(profile, "00:00:00:00:00:00", "Intel(R) PRO/1000 MT Network Connection");
    auto& machine = start();
    for (const char* address : {"00:05:69:12:34:56", "00:0C:29:AB:CD:EF", "00:1C:14:00:00:01", "00:50:56:C0:00:08"}) {
        machine.profile().adapters[0].address = parseMacAddress(address);
        EXPECT_TRUE(detector.checkMacAddresses()) << address;
    }
    // One byte off, in each of the three prefix bytes.
    for (const char* address : {"00:50:57:C0:00:08", "00:51:56:C0:00:08", "01:50:56:C0:00:08", "00:0C:28:AB:CD:EF"}) {
        machine.profile().adapters[0].address = parseMacAddress(address);
        EXPECT_FALSE(detector.checkMacAddresses()) << address;
    }
}

TEST_F(VMWareDetectionTest, OnlyAddressesOfLengthSixAreCompared) {
    profile.adapters.clear();
    auto& adapter = addAdapter(profile, "00:50:56:C0:00:08", "vmxnet3 Ethernet Adapter");
    adapter.addressLength = 5;
    auto& machine = start();
    EXPECT_FALSE(detector.checkMacAddresses());
    machine.profile().adapters[0].address = parseMacAddress("00:50:56:C0:00:08:00:00");
    machine.profile().adapters[0].addressLength = 8;
    EXPECT_FALSE(detector.checkMacAddresses());
}

TEST_F(VMWareDetectionTest, EveryPrefixWalksAFreshAdapterList) {
    auto& machine = start();
    EXPECT_FALSE(detector.checkMacAddresses());
    EXPECT_EQ(machine.countCalls("GetAdaptersInfo"), 4u);  // one adapter fits the first buffer

    machine.clearCalls();
    addAdapter(machine.profile(), "00:0C:29:AB:CD:EF", "Intel(R) PRO/1000 MT Network Connection");
    machine.profile().adapters.erase(machine.profile().adapters.begin());
    EXPECT_TRUE(detector.checkMacAddresses());
    EXPECT_EQ(machine.countCalls("GetAdaptersInfo"), 2u);  // stops at the second prefix
    EXPECT_THAT(Corvane::testing::evidenceText(evidence), HasSubstr("MAC address: 00:0C:29:AB:CD:EF"));
}

TEST_F(VMWareDetectionTest, TheToolsKeyCountsUnderHklmOnlyAndMustOpen) {
    addRegistryKey(profile, L"HKCU", L"SOFTWARE\\VMware, Inc.\\VMware Tools");
    auto& machine = start();
    EXPECT_FALSE(detector.checkRegistryKeys());

    addRegistryKey(machine.profile(), L"HKLM", L"SOFTWARE\\VMware, Inc.\\VMware Tools").accessDenied = true;
    EXPECT_FALSE(detector.checkRegistryKeys());

    findRegistryKey(machine.profile(), L"HKLM", L"SOFTWARE\\VMware, Inc.\\VMware Tools")->accessDenied = false;
    EXPECT_TRUE(detector.checkRegistryKeys());
}

TEST_F(VMWareDetectionTest, ADiskIdentifierOrTheSystemInformationNamingVMwareIsASign) {
    const std::wstring port1 = L"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 1\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0";
    const std::wstring port3 = L"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 3\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0";
    const std::wstring info = L"SYSTEM\\ControlSet001\\Control\\SystemInformation";
    auto& machine = start();
    auto& p = machine.profile();

    addStringValue(addRegistryKey(p, L"HKLM", port3), L"Identifier", L"VMware  Virtual disk    2.0 ");
    EXPECT_FALSE(detector.checkRegistryValues());  // port 3 is not looked at

    addStringValue(addRegistryKey(p, L"HKLM", port1), L"Identifier", L"VMware Virtual disk SCSI Disk Device");
    EXPECT_TRUE(detector.checkRegistryValues());
    EXPECT_THAT(Corvane::testing::evidenceText(evidence), HasSubstr("registry value: Identifier"));
    p.registry.erase(p.registry.end() - 1);

    addStringValue(*findRegistryKey(p, L"HKLM", info), L"SystemManufacturer", L"VMware, Inc.");
    EXPECT_TRUE(detector.checkRegistryValues());
    addStringValue(*findRegistryKey(p, L"HKLM", info), L"SystemManufacturer", L"Dell Inc.");
    addStringValue(*findRegistryKey(p, L"HKLM", info), L"SystemProductName", L"VMware7,1");
    EXPECT_TRUE(detector.checkRegistryValues());
}

TEST_F(VMWareDetectionTest, ValuesLongerThan260BytesAreNotRead) {
    const std::wstring info = L"SYSTEM\\ControlSet001\\Control\\SystemInformation";
    auto& machine = start();
    auto& key = *findRegistryKey(machine.profile(), L"HKLM", info);
    // 129 characters and the NUL fill exactly 260 bytes.
    addStringValue(key, L"SystemProductName", std::wstring(123, L'x') + L"VMware");
    EXPECT_TRUE(detector.checkRegistryValues());
    addStringValue(key, L"SystemProductName", std::wstring(124, L'x') + L"VMware");
    EXPECT_FALSE(detector.checkRegistryValues());
}

TEST_F(VMWareDetectionTest, TheSmbiosTableMustHoldVMwareInThatSpelling) {
    auto& machine = start();
    auto table = [](const std::string& manufacturer) {
        return rawSmbiosData({smbiosStructure(1, 0x0100, std::vector<uint8_t>(23, 0), {manufacturer, "Virtual Platform"})});
    };
    setSmbios(machine.profile(), table("VMware, Inc."));
    EXPECT_TRUE(detector.checkSmbiosTable());
    setSmbios(machine.profile(), table("VMWARE, INC."));
    EXPECT_FALSE(detector.checkSmbiosTable());
    setSmbios(machine.profile(), table("vmware"));
    EXPECT_FALSE(detector.checkSmbiosTable());
}

TEST_F(VMWareDetectionTest, ASmbiosPatternEndingAtTheLastByteIsFound) {
    auto& machine = start();
    const std::string tail = "....VMware";
    setSmbios(machine.profile(), std::vector<uint8_t>(tail.begin(), tail.end()));
    EXPECT_TRUE(detector.checkSmbiosTable());
    machine.profile().firmware.rawSmbios = std::vector<uint8_t>{'V', 'M', 'w', 'a', 'r'};
    EXPECT_FALSE(detector.checkSmbiosTable());
    machine.profile().firmware.rawSmbios.reset();  // the call fails
    EXPECT_FALSE(detector.checkSmbiosTable());
}

TEST_F(VMWareDetectionTest, AnAcpiTableMustHoldVMWAREInUpperCase) {
    auto& machine = start();
    addAcpiTable(machine.profile(), "SSDT", acpiTableBytes("SSDT", "PTLTD ", "Custom  ", {'V', 'M', 'w', 'a', 'r', 'e'}));
    EXPECT_FALSE(detector.checkAcpiTables());
    addAcpiTable(machine.profile(), "WAET", acpiTableBytes("WAET", "VMWARE", "VMW WAET", {0, 0, 0, 0}));
    EXPECT_TRUE(detector.checkAcpiTables());
    EXPECT_THAT(Corvane::testing::evidenceText(evidence), HasSubstr("firmware table: ACPI WAET"));
}

TEST_F(VMWareDetectionTest, AnEmptyAcpiEnumerationIsASignAndAMissingFunctionIsNone) {
    auto& machine = start();
    machine.profile().firmware.acpiEnumerationResult = 0;
    EXPECT_TRUE(detector.checkAcpiTables());
    machine.profile().firmware.acpiEnumerationResult = 3;  // not one whole identifier
    EXPECT_TRUE(detector.checkAcpiTables());
    machine.profile().firmware.functionsPresent = false;
    EXPECT_FALSE(detector.checkAcpiTables());
    EXPECT_FALSE(detector.checkSmbiosTable());
}

TEST_F(VMWareDetectionTest, ADriverFileIsASignButAFolderOfThatNameIsNot) {
    auto& machine = start();
    addDirectory(machine.profile(), L"C:\\Windows\\System32\\drivers\\vmmouse.sys");
    EXPECT_FALSE(detector.checkFiles());
    addFile(machine.profile(), L"C:\\Windows\\System32\\drivers\\vmnetadapter.sys");
    EXPECT_TRUE(detector.checkFiles());
    EXPECT_THAT(Corvane::testing::evidenceText(evidence),
                HasSubstr("file: C:\\Windows\\System32\\drivers\\vmnetadapter.sys"));
    EXPECT_EQ(machine.countCalls("Wow64DisableWow64FsRedirection"), 0u);
}

TEST_F(VMWareDetectionTest, A32BitProcessOn64BitWindowsLooksInTheNativeSystemFolder) {
    Corvane::testing::FreshWow64Answer wow64;
    profile.system.wow64 = true;
    addFile(profile, L"C:\\Windows\\System32\\drivers\\vmhgfs.sys");
    auto& machine = start();
    EXPECT_TRUE(detector.checkFiles());
    EXPECT_EQ(machine.countCalls("Wow64DisableWow64FsRedirection"), 1u);
    EXPECT_EQ(machine.countCalls("Wow64RevertWow64FsRedirection"), 1u);
}

TEST_F(VMWareDetectionTest, TheProgramFilesFolderMustHoldAVMwareFolder) {
    auto& machine = start();
    addFile(machine.profile(), L"C:\\Program Files\\VMWare");
    EXPECT_FALSE(detector.checkDirectories());
    machine.profile().files.pop_back();
    addDirectory(machine.profile(), L"C:\\Program Files\\vmware");  // any letter case
    EXPECT_TRUE(detector.checkDirectories());
}

TEST_F(VMWareDetectionTest, A32BitProcessLooksInThe64BitProgramFilesFolder) {
    Corvane::testing::FreshWow64Answer wow64;
    profile.system.wow64 = true;
    profile.system.programFiles = L"C:\\Program Files (x86)";
    profile.system.programW6432 = L"C:\\Program Files";
    addDirectory(profile, L"C:\\Program Files (x86)\\VMware");
    auto& machine = start();
    EXPECT_FALSE(detector.checkDirectories());
    addDirectory(machine.profile(), L"C:\\Program Files\\VMware");
    EXPECT_TRUE(detector.checkDirectories());
}

TEST_F(VMWareDetectionTest, ADeviceThatOpensIsASign) {
    addDevice(profile, L"\\\\.\\vmci", 5 /*ERROR_ACCESS_DENIED*/);
    auto& machine = start();
    EXPECT_FALSE(detector.checkDevices());
    addDevice(machine.profile(), L"\\\\.\\HGFS");
    EXPECT_TRUE(detector.checkDevices());
    EXPECT_THAT(Corvane::testing::evidenceText(evidence), HasSubstr("device: \\\\.\\HGFS"));
}

}  // namespace
}  // namespace Corvane::utils::vmdetection
