// The VirtualBox detector's firmware and WMI checks against simulated machines.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "diagnostics/Evidence.h"
#include "platform/WMIHelper.h"
#include "support/SimulatedMachineTest.h"
#include "vmdetection/DetectorTestSupport.h"
#include "vmdetection/VirtualBoxDetection.h"

namespace Corvane::utils::vmdetection {
namespace {

using namespace profile;
using Corvane::testing::evidenceText;
using ::testing::HasSubstr;

std::vector<uint8_t> fixtureBytes(const std::string& relative) {
    std::ifstream file(Corvane::testing::fixturePath(relative), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> bytesOf(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

class VirtualBoxFirmwareChecks : public Corvane::testing::SimulatedMachineTest {
protected:
    VirtualBoxDetection detector{nullptr};
};

// --- SMBIOS ---

TEST_F(VirtualBoxFirmwareChecks, GuestSmbiosTableNamesVirtualBoxInItsBiosVersion) {
    setSmbios(profile, fixtureBytes("firmware/virtualbox/vbox614_RSMB.bin"));
    start();
    diagnostics::EvidenceCollector evidence;
    EXPECT_TRUE(detector.checkSmbiosTable());
    // "innotek GmbH\0VirtualBox": the BIOS structure's second string.
    EXPECT_EQ(evidenceText(evidence), "firmware table: RSMB\npattern: VirtualBox\noffset: 41\n");
}

TEST_F(VirtualBoxFirmwareChecks, SmbiosPatternsAreCaseExactAndFoundInsideWords) {
    setSmbios(profile, rawSmbiosData({smbiosStructure(1, 1, {1, 2}, {"virtualbox", "Virtual Box"})}));
    start();
    EXPECT_FALSE(detector.checkSmbiosTable()) << "neither \"VirtualBox\", \"vbox\" nor \"VBOX\"";
    stop();

    setSmbios(profile, rawSmbiosData({smbiosStructure(11, 2, {1}, {"xvboxVer_7.0.14"})}));
    start();
    diagnostics::EvidenceCollector evidence;
    EXPECT_TRUE(detector.checkSmbiosTable());
    EXPECT_THAT(evidenceText(evidence), HasSubstr("pattern: vbox\n"));
}

TEST_F(VirtualBoxFirmwareChecks, SmbiosPatternEndingOnTheLastByteOfALargeTableIsFound) {
    std::vector<uint8_t> table(5000, 0x20);
    std::copy_n("VBOX", 4, table.end() - 4);
    setSmbios(profile, table);
    start();
    diagnostics::EvidenceCollector evidence;
    EXPECT_TRUE(detector.checkSmbiosTable());
    EXPECT_THAT(evidenceText(evidence), HasSubstr("offset: 4996\n"));
    stop();

    table.pop_back();  // "VBO" at the end
    setSmbios(profile, table);
    start();
    EXPECT_FALSE(detector.checkSmbiosTable());
}

TEST_F(VirtualBoxFirmwareChecks, MissingSmbiosTableIsNoSign) {
    profile.firmware.rawSmbios.reset();
    start();
    EXPECT_FALSE(detector.checkSmbiosTable());
}

// --- ACPI ---

void useGuestAcpiTables(MachineProfile& profile) {
    profile.firmware.acpiTables.clear();
    for (const char* name : {"FACP", "FACS", "DSDT", "APIC", "SSDT"})
        addAcpiTable(profile, name, fixtureBytes(std::string("firmware/virtualbox/ozone_vbox_") + name + ".aml"));
}

TEST_F(VirtualBoxFirmwareChecks, GuestAcpiTablesCarryTheVboxOemId) {
    useGuestAcpiTables(profile);
    start();
    diagnostics::EvidenceCollector evidence;
    EXPECT_TRUE(detector.checkAcpiTables());
    EXPECT_EQ(evidenceText(evidence), "firmware table: ACPI FACP\npattern: VBOX\noffset: 10\n");
    EXPECT_EQ(machine().countCalls("GetSystemFirmwareTable"), 1u) << "the first table decides";
}

TEST_F(VirtualBoxFirmwareChecks, PhysicalAcpiTablesShowNoSignAfterEveryTableWasRead) {
    start();
    EXPECT_FALSE(detector.checkAcpiTables());
    EXPECT_EQ(machine().countCalls("GetSystemFirmwareTable"), profile.firmware.acpiTables.size());
}

TEST_F(VirtualBoxFirmwareChecks, AcpiPatternEndingOnTheTablesLastByteIsFound) {
    profile.firmware.acpiTables.clear();
    addAcpiTable(profile, "SSDT", acpiTableBytes("SSDT", "DELL  ", "CpuSsdt ", bytesOf("\x10\x20\\_PR_VBOX")));
    start();
    EXPECT_TRUE(detector.checkAcpiTables());
}

TEST_F(VirtualBoxFirmwareChecks, AnEnumerationBelowFourBytesIsASignAndAMissingFunctionIsNot) {
    for (uint32_t bytes : {0u, 3u}) {
        profile.firmware.acpiEnumerationResult = bytes;
        start();
        diagnostics::EvidenceCollector evidence;
        EXPECT_TRUE(detector.checkAcpiTables()) << bytes;
        EXPECT_EQ(machine().countCalls("GetSystemFirmwareTable"), 0u);
        stop();
    }
    profile.firmware.acpiEnumerationResult.reset();
    profile.firmware.functionsPresent = false;
    start();
    EXPECT_FALSE(detector.checkAcpiTables());
}

TEST_F(VirtualBoxFirmwareChecks, AnEnumerationLargerThanTheListExaminesOnlyWhatTheListHolds) {
    profile.firmware.acpiEnumerationResult = 8192;
    start();
    EXPECT_FALSE(detector.checkAcpiTables());
    EXPECT_EQ(machine().countCalls("GetSystemFirmwareTable"), 1024u);
}

// --- WMI ---

class VirtualBoxWmiChecks : public Corvane::testing::SimulatedMachineTest {
protected:
    // Starts the machine and connects the helper to it.
    VirtualBoxDetection& startConnected() {
        start();
        wmi.emplace(L"ROOT\\CIMV2");
        detector.emplace(&*wmi);
        return *detector;
    }
    void TearDown() override {
        if (wmi) {
            EXPECT_EQ(wmi->getStatus(), S_OK) << "every check ends with reset";
        }
        detector.reset();
        wmi.reset();
        SimulatedMachineTest::TearDown();
    }
    void replaceRows(const std::wstring& className, const std::vector<WmiProperties>& rows) {
        removeWmiClass(profile, className);
        addWmiClass(profile, className);
        for (const auto& row : rows) addWmiRow(profile, className, row);
    }
    std::vector<std::string> queries() {
        std::vector<std::string> texts;
        for (const auto& call : machine().calls())
            if (call.function == "ExecQuery") texts.push_back(call.argument);
        return texts;
    }

    std::optional<platform::WMIHelper> wmi;
    std::optional<VirtualBoxDetection> detector;
};

WmiProperties adapterConfiguration(const std::wstring& description, const WmiValue& mac) {
    return {{L"Description", wmiText(description)}, {L"MACAddress", mac}};
}

TEST_F(VirtualBoxWmiChecks, MacAddressInTheFirstRowIsNotSeenButInAnyLaterRowIs) {
    replaceRows(L"Win32_NetworkAdapterConfiguration",
                {adapterConfiguration(L"Intel(R) PRO/1000 MT Desktop Adapter", wmiText(L"08:00:27:12:34:56"))});
    EXPECT_FALSE(startConnected().checkWmiMacAddresses());
    EXPECT_THAT(queries(), ::testing::ElementsAre("SELECT MACAddress FROM Win32_NetworkAdapterConfiguration"));
    TearDown();

    profile = physicalMachineWithoutSigns();
    replaceRows(L"Win32_NetworkAdapterConfiguration",
                {adapterConfiguration(L"Microsoft Kernel Debug Network Adapter", wmiNull()),
                 adapterConfiguration(L"WAN Miniport (IP)", wmiNull()),
                 adapterConfiguration(L"Intel(R) PRO/1000 MT Desktop Adapter", wmiText(L"08:00:27:ab:cd:ef"))});
    diagnostics::EvidenceCollector evidence;
    EXPECT_TRUE(startConnected().checkWmiMacAddresses());
    EXPECT_EQ(evidenceText(evidence),
              "WMI class: Win32_NetworkAdapterConfiguration\nWMI property: MACAddress\nWMI value: 08:00:27:ab:cd:ef\n");
}

TEST_F(VirtualBoxWmiChecks, MacAddressWrittenWithDashesIsNoSign) {
    replaceRows(L"Win32_NetworkAdapterConfiguration",
                {adapterConfiguration(L"Microsoft Kernel Debug Network Adapter", wmiNull()),
                 adapterConfiguration(L"Intel(R) PRO/1000 MT Desktop Adapter", wmiText(L"08-00-27-12-34-56"))});
    EXPECT_FALSE(startConnected().checkWmiMacAddresses());
}

WmiProperties eventLog(const std::wstring& name, const std::vector<std::wstring>& sources) {
    return {{L"LogfileName", wmiText(name)}, {L"Name", wmiText(L"C:\\Windows\\System32\\Winevt\\Logs\\" + name + L".evtx")},
            {L"Sources", wmiStrings(sources)}};
}

TEST_F(VirtualBoxWmiChecks, SystemLogListingADisplayDriverIsASignWhereverItStands) {
    // The System log first, as the only log, and behind others: the condition
    // makes it the first row in every case, and the first row is examined.
    const std::vector<std::vector<WmiProperties>> layouts = {
        {eventLog(L"System", {L"Service Control Manager", L"VBoxWddm", L"volmgr"})},
        {eventLog(L"Application", {L"Application Error"}), eventLog(L"HardwareEvents", {L"HardwareEvents"}),
         eventLog(L"System", {L"EventLog", L"VBOXVIDEO"})},
    };
    for (const auto& rows : layouts) {
        profile = physicalMachineWithoutSigns();
        replaceRows(L"Win32_NTEventlogFile", rows);
        diagnostics::EvidenceCollector evidence;
        EXPECT_TRUE(startConnected().checkEventLogSources());
        EXPECT_THAT(evidenceText(evidence), HasSubstr("WMI property: Sources\n"));
        EXPECT_THAT(queries(), ::testing::ElementsAre(
                                   "SELECT LogfileName, Sources FROM Win32_NTEventlogFile WHERE LogfileName = 'System'"));
        TearDown();
    }
}

TEST_F(VirtualBoxWmiChecks, EventSourcesOnlyCountInTheSystemLogAndAsWholeNames) {
    replaceRows(L"Win32_NTEventlogFile", {eventLog(L"Application", {L"VBoxWddm", L"vboxvideo", L"VBoxVideoW8"}),
                                          eventLog(L"System", {L"VBoxWddmX", L"vboxvideo.sys", L"VBoxGuest"})});
    EXPECT_FALSE(startConnected().checkEventLogSources());
}

TEST_F(VirtualBoxWmiChecks, SystemLogWithoutAListOfSourcesIsNoSign) {
    replaceRows(L"Win32_NTEventlogFile", {{{L"LogfileName", wmiText(L"System")}}});
    EXPECT_FALSE(startConnected().checkEventLogSources());
    TearDown();

    profile = physicalMachineWithoutSigns();
    replaceRows(L"Win32_NTEventlogFile", {{{L"LogfileName", wmiText(L"System")}, {L"Sources", wmiText(L"VBoxWddm")}}});
    EXPECT_FALSE(startConnected().checkEventLogSources());
}

TEST_F(VirtualBoxWmiChecks, ARowWhoseSourcesCannotBeReadDoesNotEndTheWalk) {
    replaceRows(L"Win32_NTEventlogFile", {{{L"LogfileName", wmiText(L"System")}}, eventLog(L"System", {L"VBoxWddm"})});
    EXPECT_TRUE(startConnected().checkEventLogSources());
}

WmiProperties pnpEntity(const std::wstring& name, const std::wstring& deviceId) {
    return {{L"Name", wmiText(name)}, {L"Caption", wmiText(name)}, {L"DeviceID", wmiText(deviceId)}};
}

TEST_F(VirtualBoxWmiChecks, ThreeChipsetEntitiesAfterTheFirstRowAreASign) {
    const std::vector<WmiProperties> chipset = {
        pnpEntity(L"Intel 82441FX Pentium(R) Pro Processor to PCI bridge", L"PCI\\VEN_8086&DEV_1237"),
        pnpEntity(L"Intel 82371SB PCI to ISA bridge", L"PCI\\VEN_8086&DEV_7000"),
        pnpEntity(L"Standard OpenHCD USB Host Controller", L"PCI\\VEN_106B&DEV_003F"),
    };
    // The first row is taken as the current row and never counted.
    replaceRows(L"Win32_PnPEntity", chipset);
    EXPECT_FALSE(startConnected().checkWmiPnpEntities());
    TearDown();

    profile = physicalMachineWithoutSigns();
    std::vector<WmiProperties> rows = {pnpEntity(L"ACPI x64-based PC", L"ROOT\\ACPI_HAL\\0000")};
    rows.insert(rows.end(), chipset.begin(), chipset.end());
    replaceRows(L"Win32_PnPEntity", rows);
    diagnostics::EvidenceCollector evidence;
    EXPECT_TRUE(startConnected().checkWmiPnpEntities());
    EXPECT_THAT(evidenceText(evidence), HasSubstr("WMI value: Standard OpenHCD USB Host Controller\n"));
}

TEST_F(VirtualBoxWmiChecks, AnEntityNamingSeveralChipsetPartsCountsOnce) {
    replaceRows(L"Win32_PnPEntity",
                {pnpEntity(L"ACPI x64-based PC", L"ROOT\\ACPI_HAL\\0000"),
                 pnpEntity(L"82801FB 82441FX 82371SB OpenHCD", L"PCI\\VEN_8086&DEV_2668"),
                 pnpEntity(L"Intel(R) 82801FB/FBM USB Universal Host Controller", L"PCI\\VEN_8086&DEV_2658"),
                 {{L"Name", wmiNull()}}});
    EXPECT_FALSE(startConnected().checkWmiPnpEntities());
}

TEST_F(VirtualBoxWmiChecks, GuestDeviceIdIsFoundInTheFirstOrAnyLaterEntity) {
    const auto guestDevice =
        pnpEntity(L"VirtualBox Guest Device", L"PCI\\VEN_80EE&DEV_CAFE&SUBSYS_00000000&REV_00\\3&267A616A&0&20");
    for (size_t position : {0u, 3u}) {
        profile = physicalMachineWithoutSigns();
        std::vector<WmiProperties> rows = {pnpEntity(L"ACPI x64-based PC", L"ROOT\\ACPI_HAL\\0000"),
                                           pnpEntity(L"PCI Bus", L"ACPI\\PNP0A03\\0"),
                                           pnpEntity(L"VirtualBox Graphics Adapter (WDDM)", L"PCI\\VEN_80EE&DEV_BEEF")};
        rows.insert(rows.begin() + position, guestDevice);
        replaceRows(L"Win32_PnPEntity", rows);
        diagnostics::EvidenceCollector evidence;
        EXPECT_TRUE(startConnected().checkWmiPciDeviceId()) << position;
        EXPECT_THAT(evidenceText(evidence), HasSubstr("WMI property: DeviceID\n"));
        EXPECT_THAT(queries(), ::testing::ElementsAre("SELECT DeviceID FROM Win32_PnPEntity"));
        TearDown();
    }
}

TEST_F(VirtualBoxWmiChecks, OtherVirtualBoxDevicesOrMissingIdsAreNoPciSign) {
    replaceRows(L"Win32_PnPEntity", {pnpEntity(L"VirtualBox Graphics Adapter", L"PCI\\VEN_80EE&DEV_BEEF"),
                                     {{L"Name", wmiText(L"No id")}, {L"DeviceID", wmiNull()}},
                                     pnpEntity(L"Written otherwise", L"pci\\ven_80ee&dev_cafe")});
    EXPECT_FALSE(startConnected().checkWmiPciDeviceId());
}

void setBuses(MachineProfile& profile, const std::vector<std::wstring>& names) {
    removeWmiClass(profile, L"Win32_Bus");
    addWmiClass(profile, L"Win32_Bus");
    for (const auto& name : names) addWmiRow(profile, L"Win32_Bus", {{L"DeviceID", wmiText(name)}, {L"Name", wmiText(name)}});
}

TEST_F(VirtualBoxWmiChecks, ExactlyTheThreeNamedBusesAreASign) {
    setBuses(profile, {L"ACPIBus_BUS_0", L"PCI_BUS_0", L"PNP_BUS_0"});
    EXPECT_TRUE(startConnected().checkWmiBuses());
    EXPECT_THAT(queries(), ::testing::ElementsAre("SELECT * FROM Win32_Bus"));
}

TEST_F(VirtualBoxWmiChecks, AFourthBusOrAnUnnamedOneIsNoSign) {
    for (const auto& names : std::vector<std::vector<std::wstring>>{
             {L"ACPIBus_BUS_0", L"PCI_BUS_0", L"PNP_BUS_0", L"USB_BUS_0"},
             {L"ACPIBus_BUS_0", L"PCI_BUS_0", L"USB_BUS_0"},
             {L"ACPIBus_BUS_0", L"PCI_BUS_0"}}) {
        profile = physicalMachineWithoutSigns();
        setBuses(profile, names);
        EXPECT_FALSE(startConnected().checkWmiBuses()) << names.size();
        TearDown();
    }
    // Three rows, one of them without a name.
    profile = physicalMachineWithoutSigns();
    setBuses(profile, {L"ACPIBus_BUS_0", L"PCI_BUS_0"});
    addWmiRow(profile, L"Win32_Bus", {{L"DeviceID", wmiText(L"PNP_BUS_0")}});
    EXPECT_FALSE(startConnected().checkWmiBuses());
}

TEST_F(VirtualBoxWmiChecks, BaseBoardMadeByOracleOrNamedVirtualBoxIsASign) {
    replaceRows(L"Win32_BaseBoard", {{{L"Manufacturer", wmiText(L"Oracle Corporation")}, {L"Product", wmiText(L"Board")}}});
    diagnostics::EvidenceCollector evidence;
    EXPECT_TRUE(startConnected().checkWmiBaseBoard());
    EXPECT_THAT(evidenceText(evidence), HasSubstr("WMI property: Manufacturer\n"));
    TearDown();

    profile = physicalMachineWithoutSigns();
    replaceRows(L"Win32_BaseBoard", {{{L"Manufacturer", wmiNull()}, {L"Product", wmiText(L"VirtualBox")}}});
    evidence.clear();
    EXPECT_TRUE(startConnected().checkWmiBaseBoard());
    EXPECT_THAT(evidenceText(evidence), HasSubstr("WMI property: Product\n"));
    TearDown();

    profile = physicalMachineWithoutSigns();
    replaceRows(L"Win32_BaseBoard", {{{L"Manufacturer", wmiText(L"oracle corporation")}, {L"Product", wmiText(L"virtualbox")}}});
    EXPECT_FALSE(startConnected().checkWmiBaseBoard()) << "the texts are compared case-exactly";
}

TEST_F(VirtualBoxWmiChecks, PnpDeviceRowsWithoutTheReadPropertiesAreSkipped) {
    replaceRows(L"Win32_PnPDevice",
                {{{L"SameElement", wmiText(L"Win32_DiskDrive.DeviceID=\"PHYSICALDRIVE0\"")}},
                 {{L"Name", wmiText(L"vbox lower case")}, {L"Caption", wmiText(L"VBOX CD-ROM")}}});
    diagnostics::EvidenceCollector evidence;
    EXPECT_TRUE(startConnected().checkWmiPnpDevices());
    EXPECT_THAT(evidenceText(evidence), HasSubstr("WMI property: Caption\nWMI value: VBOX CD-ROM\n"));
    TearDown();

    profile = physicalMachineWithoutSigns();
    replaceRows(L"Win32_PnPDevice", {{{L"PNPDeviceID", wmiText(L"ROOT\\VEN_VBOX&DEV_0001")}}});
    EXPECT_TRUE(startConnected().checkWmiPnpDevices());
    TearDown();

    profile = physicalMachineWithoutSigns();
    replaceRows(L"Win32_PnPDevice", {{{L"PNPDeviceID", wmiText(L"IDE\\CDROMVBOX_CD-ROM")}}, {{L"Name", wmiInt(1)}}});
    EXPECT_FALSE(startConnected().checkWmiPnpDevices()) << "a PNPDeviceID must hold VEN_VBOX";
}

TEST_F(VirtualBoxWmiChecks, WithoutAConnectionTheWmiChecksFindNothingAndTheFirmwareChecksStillRun) {
    profile.wmi.faults.connectServer = WBEM_E_ACCESS_DENIED;
    setBuses(profile, {L"ACPIBus_BUS_0", L"PCI_BUS_0", L"PNP_BUS_0"});
    replaceRows(L"Win32_BaseBoard", {{{L"Manufacturer", wmiText(L"Oracle Corporation")}}});
    setSmbios(profile, fixtureBytes("firmware/virtualbox/vbox614_RSMB.bin"));
    auto& checks = startConnected();
    EXPECT_FALSE(wmi->isConnected());
    EXPECT_FALSE(checks.checkWmiMacAddresses());
    EXPECT_FALSE(checks.checkEventLogSources());
    EXPECT_FALSE(checks.checkWmiPnpEntities());
    EXPECT_FALSE(checks.checkWmiPciDeviceId());
    EXPECT_FALSE(checks.checkWmiBuses());
    EXPECT_FALSE(checks.checkWmiBaseBoard());
    EXPECT_FALSE(checks.checkWmiPnpDevices());
    EXPECT_TRUE(checks.checkSmbiosTable());
    EXPECT_EQ(machine().countCalls("ExecQuery"), 0u);
}

TEST_F(VirtualBoxWmiChecks, AFailedQueryEndsThatCheckAndLeavesTheStatusClear) {
    setBuses(profile, {L"ACPIBus_BUS_0", L"PCI_BUS_0", L"PNP_BUS_0"});
    profile.wmi.faults.execQueryByClass[L"Win32_Bus"] = WBEM_E_FAILED;
    auto& checks = startConnected();
    EXPECT_FALSE(checks.checkWmiBuses());
    EXPECT_EQ(wmi->getStatus(), S_OK);
    EXPECT_FALSE(wmi->hasServices()) << "the helper drops its connection after a failed query";
}

TEST_F(VirtualBoxWmiChecks, AGuestShowingEveryWmiSignIsFoundByEachCheckAndLeavesNothingHeld) {
    replaceRows(L"Win32_NetworkAdapterConfiguration",
                {adapterConfiguration(L"Microsoft Kernel Debug Network Adapter", wmiNull()),
                 adapterConfiguration(L"Intel(R) PRO/1000 MT Desktop Adapter", wmiText(L"08:00:27:12:34:56"))});
    replaceRows(L"Win32_NTEventlogFile", {eventLog(L"System", {L"VBoxVideoW8"})});
    replaceRows(L"Win32_PnPEntity",
                {pnpEntity(L"ACPI x64-based PC", L"ROOT\\ACPI_HAL\\0000"),
                 pnpEntity(L"Intel 82441FX Pentium(R) Pro Processor to PCI bridge", L"PCI\\VEN_8086&DEV_1237"),
                 pnpEntity(L"Intel 82371SB PCI to ISA bridge", L"PCI\\VEN_8086&DEV_7000"),
                 pnpEntity(L"Standard OpenHCD USB Host Controller", L"PCI\\VEN_106B&DEV_003F"),
                 pnpEntity(L"VirtualBox Guest Device", L"PCI\\VEN_80EE&DEV_CAFE&SUBSYS_00000000&REV_00\\3&1")});
    setBuses(profile, {L"ACPIBus_BUS_0", L"PCI_BUS_0", L"PNP_BUS_0"});
    replaceRows(L"Win32_BaseBoard", {{{L"Manufacturer", wmiText(L"Oracle Corporation")}, {L"Product", wmiText(L"VirtualBox")}}});
    replaceRows(L"Win32_PnPDevice", {{{L"Name", wmiText(L"VBOX HARDDISK")}}});
    auto& checks = startConnected();
    EXPECT_TRUE(checks.checkWmiMacAddresses());
    EXPECT_TRUE(checks.checkEventLogSources());
    EXPECT_TRUE(checks.checkWmiPnpEntities());
    EXPECT_TRUE(checks.checkWmiPciDeviceId());
    EXPECT_TRUE(checks.checkWmiBuses());
    EXPECT_TRUE(checks.checkWmiBaseBoard());
    EXPECT_TRUE(checks.checkWmiPnpDevices());
    // Run twice: the checks keep no state between calls.
    EXPECT_TRUE(checks.checkWmiPnpEntities());
    EXPECT_TRUE(checks.checkEventLogSources());
}

}  // namespace
}  // namespace Corvane::utils::vmdetection
