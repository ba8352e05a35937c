#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "toolkit/profile/ProfileBuilder.h"
#include "support/SimulatedMachineTest.h"
#include "vmdetection/CommonChecks.h"
#include "diagnostics/Evidence.h"

namespace Corvane::utils::vmdetection {
namespace {

constexpr BytePattern kBoch[] = {{"BOCH"}};

using namespace Corvane::profile;
using ::testing::HasSubstr;

class CommonChecksTest : public Corvane::testing::SimulatedMachineTest {
protected:
    std::string noted() const {
        std::string text;
        for (const auto& artefact : evidence.artefacts()) text += artefact.kind + ": " + artefact.value + "\n";
        return text;
    }
    diagnostics::EvidenceCollector evidence;
};

TEST_F(CommonChecksTest, AKeyIsNotedWithItsHive) {
    addRegistryKey(profile, L"HKCU", L"SOFTWARE\\Wine");
    start();
    EXPECT_TRUE(registryKeyExists(HKEY_CURRENT_USER, L"SOFTWARE\\Wine"));
    EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Wine"));
    EXPECT_EQ(noted(), "registry key: HKCU\\SOFTWARE\\Wine\n");
}

TEST_F(CommonChecksTest, AValueIsSearchedWhateverItsRegistryType) {
    auto& key = addRegistryKey(profile, L"HKLM", L"SOFTWARE\\Vendor");
    addRawValue(key, L"Binary", 3 /*REG_BINARY*/, registryStringBytes(L"a VMware disk"));
    addDwordValue(key, L"Number", 7);
    // Data is read up to 260 bytes: longer data is no sign, however it starts.
    const std::pair<const wchar_t*, size_t> lengths[] = {{L"Fits", 260}, {L"ByteOver", 261}, {L"TwoOver", 262}};
    for (const auto& [name, bytes] : lengths) {
        std::vector<uint8_t> data = registryStringBytes(L"VMware" + std::wstring(200, L' '));
        data.resize(bytes);
        addRawValue(key, name, 1 /*REG_SZ*/, data);
    }
    start();
    EXPECT_TRUE(registryValueContains({L"SOFTWARE\\Vendor", L"Fits", L"VMWARE"}));
    EXPECT_FALSE(registryValueContains({L"SOFTWARE\\Vendor", L"ByteOver", L"VMWARE"}));
    EXPECT_FALSE(registryValueContains({L"SOFTWARE\\Vendor", L"TwoOver", L"VMWARE"}));
    EXPECT_TRUE(registryValueContains({L"SOFTWARE\\Vendor", L"Binary", L"VMWARE"}));
    EXPECT_THAT(noted(), HasSubstr("text: a VMware disk"));
    EXPECT_FALSE(registryValueContains({L"SOFTWARE\\Vendor", L"Number", L"VMWARE"}));
    EXPECT_FALSE(registryValueContains({L"SOFTWARE\\Vendor", L"Missing", L"VMWARE"}));
    EXPECT_FALSE(registryValueContains({L"SOFTWARE\\Missing", L"Binary", L"VMWARE"}));
}

TEST_F(CommonChecksTest, APathWhoseStatusCannotBeReadIsNeitherFileNorFolder) {
    addPathError(profile, L"C:\\Windows\\System32\\drivers\\vmci.sys", 5 /*ERROR_ACCESS_DENIED*/);
    addPathError(profile, L"C:\\Program Files\\VMWare", 5);
    start();
    EXPECT_FALSE(pathIsFile(L"C:\\Windows\\System32\\drivers\\vmci.sys"));
    EXPECT_FALSE(pathIsDirectory(L"C:\\Program Files\\VMWare"));
    EXPECT_FALSE(pathIsFile(L""));
    EXPECT_FALSE(pathIsDirectory(L""));
    EXPECT_TRUE(pathIsDirectory(L"C:\\Windows"));
    EXPECT_FALSE(pathIsFile(L"C:\\Windows"));
}

TEST_F(CommonChecksTest, AnUndeterminedWindowsFolderLooksAtNoPath) {
    profile.system.windowsDirectory.clear();
    auto& machine = start();
    EXPECT_EQ(windowsDirectory(), L"");
    constexpr const wchar_t* driver[] = {L"System32\\drivers\\vmci.sys"};
    EXPECT_FALSE(anyFileUnderWindowsDirectory(driver));
    EXPECT_EQ(machine.countCalls("CreateFileW"), 0u);
}

TEST_F(CommonChecksTest, The64BitProgramFilesFolderComesFromTheEnvironmentIn32BitProcesses) {
    profile.system.wow64 = true;
    profile.system.programFiles = L"C:\\Program Files (x86)";
    profile.system.programW6432 = L"D:\\Apps";
    start();
    EXPECT_EQ(nativeProgramFilesFolder(), L"D:\\Apps");
    EXPECT_EQ(combinePath(nativeProgramFilesFolder(), L"VMWare\\"), L"D:\\Apps\\VMWare\\");
    EXPECT_EQ(combinePath(L"", L"VMWare\\"), L"");
}

TEST_F(CommonChecksTest, ManyAdaptersNeedTheLargerListAndAreAllWalked) {
    for (int i = 0; i < 5; ++i)
        addAdapter(profile, "00:11:22:33:44:5" + std::to_string(i), "Hyper-V Virtual Ethernet Adapter");
    addAdapter(profile, "00:16:3E:00:00:01", "XenServer PV Network Device #0");
    auto& machine = start();
    constexpr uint8_t xen[3] = {0x00, 0x16, 0x3E};
    EXPECT_TRUE(anyAdapterWithMacPrefix(xen));
    EXPECT_EQ(machine.countCalls("GetAdaptersInfo"), 2u);
    EXPECT_EQ(noted(), "MAC address: 00:16:3E:00:00:01\n");
}

// What --explain shows for every WMI sign, general or VirtualBox's.
TEST_F(CommonChecksTest, AWmiSignNamesItsClassPropertyAndValue) {
    start();
    noteWmiHit(L"Win32_BIOS", L"SerialNumber", L"0");
    EXPECT_EQ(noted(), "WMI class: Win32_BIOS\nWMI property: SerialNumber\nWMI value: 0\n");
}

TEST_F(CommonChecksTest, FirmwarePatternsAreTriedInOrderOverTheWholeTable) {
    const std::string table = "xxBBBBxxAAAA";
    setSmbios(profile, std::vector<uint8_t>(table.begin(), table.end()));
    start();
    constexpr BytePattern present[] = {{"AAAA"}, {"BBBB"}}, absent[] = {{"AAAAA"}, {"CCCC"}};
    EXPECT_TRUE(smbiosContainsAny(present));
    EXPECT_EQ(noted(), "firmware table: RSMB\npattern: AAAA\noffset: 8\n");
    EXPECT_FALSE(smbiosContainsAny(absent));
}

TEST_F(CommonChecksTest, AnOversizedAcpiEnumerationIsExaminedUpToTheListsCapacity) {
    profile.firmware.acpiTables.clear();
    for (uint32_t i = 0; i < 1100; ++i)
        profile.firmware.acpiTables.push_back({0x10000 + i, acpiTableBytes("SSDT", "OEMID ", "TABLE   ")});
    profile.firmware.acpiTables[1050].data = acpiTableBytes("SSDT", "BOCHS ", "BXPCSSDT");
    auto& machine = start();
    // The list does not fit: nothing is written into it, and the identifiers it holds are zeros.
    EXPECT_FALSE(acpiTablesContainAny(kBoch));
    EXPECT_LE(machine.countCalls("GetSystemFirmwareTable"), 1024u);

    // A machine that fills the list and reports more: the first 1024 identifiers are examined.
    machine.profile().firmware.acpiEnumerationResult = 1100 * 4;
    EXPECT_FALSE(acpiTablesContainAny(kBoch));
    machine.profile().firmware.acpiTables[3].data = acpiTableBytes("SSDT", "BOCHS ", "BXPCSSDT");
    EXPECT_TRUE(acpiTablesContainAny(kBoch));
}

TEST_F(CommonChecksTest, AnAcpiTableThatCannotBeFetchedIsNoSign) {
    addAcpiTable(profile, "WAET", acpiTableBytes("WAET", "BOCHS ", "BXPCWAET"));
    auto& machine = start();
    machine.faults().firmwareSecondCallFails = true;
    EXPECT_FALSE(acpiTablesContainAny(kBoch));
    machine.faults().firmwareSecondCallFails = false;
    EXPECT_TRUE(acpiTablesContainAny(kBoch));
    EXPECT_THAT(noted(), HasSubstr("firmware table: ACPI WAET"));
}

}  // namespace
}  // namespace Corvane::utils::vmdetection
