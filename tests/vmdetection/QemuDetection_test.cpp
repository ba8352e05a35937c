#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "toolkit/profile/ProfileBuilder.h"
#include "support/SimulatedMachineTest.h"
#include "vmdetection/DetectorTestSupport.h"
#include "vmdetection/QemuDetection.h"

namespace Corvane::utils::vmdetection {
namespace {

using namespace Corvane::profile;
using ::testing::HasSubstr;

const std::wstring kFirstDisk = L"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0";
const std::wstring kSystem = L"HARDWARE\\Description\\System";

std::vector<uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

class QemuDetectionTest : public Corvane::testing::SimulatedMachineTest {
protected:
    QemuDetection detector;
    diagnostics::EvidenceCollector evidence;
};

TEST_F(QemuDetectionTest, NoCheckFindsASignOnAPhysicalMachine) {
    start();
    EXPECT_FALSE(detector.detect());
}

TEST_F(QemuDetectionTest, TheGuestAgentCountsUnderItsExactName) {
    auto& machine = start();
    addProcess(machine.profile(), L"QEMU-GA.exe");
    EXPECT_FALSE(detector.checkProcesses());
    addProcess(machine.profile(), L"qemu-ga.exe");
    EXPECT_TRUE(detector.checkProcesses());
}

TEST_F(QemuDetectionTest, TheFirstDiskNamingQemuInAnyCaseIsASign) {
    auto& machine = start();
    auto& disk = *findRegistryKey(machine.profile(), L"HKLM", kFirstDisk);
    for (const wchar_t* identifier : {L"QEMU    QEMU HARDDISK   2.5+", L"qemu harddisk", L"Qemu"}) {
        addStringValue(disk, L"Identifier", identifier);
        EXPECT_TRUE(detector.checkRegistryValues()) << identifier;
    }
    addStringValue(disk, L"Identifier", L"Red Hat VirtIO          0001");
    EXPECT_FALSE(detector.checkRegistryValues());
}

TEST_F(QemuDetectionTest, OnlyTheFirstStringOfTheBiosVersionIsSearched) {
    auto& machine = start();
    auto& system = *findRegistryKey(machine.profile(), L"HKLM", kSystem);
    addMultiStringValue(system, L"SystemBiosVersion", {L"BOCHS  - 1", L"QEMU", L"rel-1.16.3"});
    EXPECT_FALSE(detector.checkRegistryValues());
    addMultiStringValue(system, L"SystemBiosVersion", {L"QEMU   - 1", L"rel-1.16.3"});
    EXPECT_TRUE(detector.checkRegistryValues());
}

TEST_F(QemuDetectionTest, ValuesLongerThan260BytesAreNotRead) {
    auto& machine = start();
    auto& disk = *findRegistryKey(machine.profile(), L"HKLM", kFirstDisk);
    addStringValue(disk, L"Identifier", std::wstring(125, L' ') + L"QEMU");  // 260 bytes with the NUL
    EXPECT_TRUE(detector.checkRegistryValues());
    addStringValue(disk, L"Identifier", std::wstring(126, L' ') + L"QEMU");  // 262 bytes
    EXPECT_FALSE(detector.checkRegistryValues());
}

TEST_F(QemuDetectionTest, TheSmbiosWordCountsInLowerOrUpperCaseOnly) {
    auto& machine = start();
    auto table = [](const std::string& manufacturer) {
        return rawSmbiosData({smbiosStructure(1, 0x0100, std::vector<uint8_t>(23, 0), {manufacturer, "Standard PC"})});
    };
    setSmbios(machine.profile(), table("QEMU"));
    EXPECT_TRUE(detector.checkSmbiosTable());
    setSmbios(machine.profile(), table("pc-i440fx-qemu"));
    EXPECT_TRUE(detector.checkSmbiosTable());
    setSmbios(machine.profile(), table("Qemu"));
    EXPECT_FALSE(detector.checkSmbiosTable());
    setSmbios(machine.profile(), bytesOf("QEM"));
    EXPECT_FALSE(detector.checkSmbiosTable());
}

TEST_F(QemuDetectionTest, TheLowerCaseWordIsLookedForInTheWholeTableFirst) {
    auto& machine = start();
    setSmbios(machine.profile(), bytesOf("....QEMU....qemu"));
    EXPECT_TRUE(detector.checkSmbiosTable());
    const std::string noted = Corvane::testing::evidenceText(evidence);
    EXPECT_THAT(noted, HasSubstr("pattern: qemu"));
    EXPECT_THAT(noted, HasSubstr("offset: 12"));  // ends at the table's last byte
}

TEST_F(QemuDetectionTest, AnAcpiTableOfBochsOrBxpcIsASign) {
    auto& machine = start();
    addAcpiTable(machine.profile(), "SSDT", acpiTableBytes("SSDT", "bochs ", "bxpc    "));
    EXPECT_FALSE(detector.checkAcpiTables());  // the identifiers are matched in upper case only
    addAcpiTable(machine.profile(), "WAET", acpiTableBytes("WAET", "ALASKA", "A M I   ", bytesOf("..BXPC")));
    EXPECT_TRUE(detector.checkAcpiTables());
    machine.profile().firmware.acpiTables.pop_back();
    addAcpiTable(machine.profile(), "WAET", acpiTableBytes("WAET", "BOCHS ", "ALASKA  "));
    EXPECT_TRUE(detector.checkAcpiTables());
}

TEST_F(QemuDetectionTest, AnEmptyAcpiEnumerationIsASignAndAMissingFunctionIsNone) {
    auto& machine = start();
    machine.profile().firmware.acpiTables.clear();
    EXPECT_TRUE(detector.checkAcpiTables());
    machine.profile().firmware.functionsPresent = false;
    EXPECT_FALSE(detector.checkAcpiTables());
}

TEST_F(QemuDetectionTest, TheChecksRunInSlotOrderAndStopAtTheFirstSign) {
    addProcess(profile, L"qemu-ga.exe");
    setSmbios(profile, bytesOf("QEMU"));
    auto& machine = start();
    EXPECT_TRUE(detector.detect());
    EXPECT_EQ(machine.countCalls("RegOpenKeyExW"), 0u);
    EXPECT_EQ(machine.countCalls("GetSystemFirmwareTable"), 0u);
}

}  // namespace
}  // namespace Corvane::utils::vmdetection
