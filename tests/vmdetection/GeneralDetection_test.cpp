// The general detector against simulated machines: which steps run, in which
// order, and the signs that are easy to get wrong.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/LogCapture.h"
#include "support/SimulatedMachineTest.h"
#include "diagnostics/Evidence.h"
#include "diagnostics/Logger.h"
#include "platform/WMIHelper.h"
#include "vmdetection/GeneralDetection.h"

namespace Corvane::utils::vmdetection {
namespace {

using profile::addDiskDrive;
using profile::addWmiRow;
using profile::setWmiValue;
using profile::wmiInt;
using profile::wmiNull;
using profile::wmiText;

constexpr uint64_t kOneGiB = 0x40000000;
constexpr HRESULT kAccessDenied = static_cast<HRESULT>(0x80041003);  // WBEM_E_ACCESS_DENIED

// Every query a detection that finds nothing makes, in step order.
const std::vector<std::string> kAllQueries = {
    "SELECT SerialNumber FROM Win32_BIOS",
    "SELECT Model FROM Win32_ComputerSystem",
    "SELECT Manufacturer FROM Win32_ComputerSystem",
    "SELECT ProcessorId FROM Win32_Processor",
    "SELECT Caption FROM Win32_VideoController",
    "SELECT * FROM Win32_CacheMemory",
    "SELECT * FROM Win32_PhysicalMemory",
    "SELECT * FROM Win32_SMBIOSMemory",
    "SELECT * FROM CIM_Memory",
    "SELECT * FROM CIM_PhysicalConnector",
    "SELECT * FROM CIM_Slot",
};

struct Verdict {
    bool sign = false;
    std::vector<diagnostics::Artefact> evidence;
    std::vector<std::string> queries;
    HRESULT status = S_OK;
};

class GeneralDetectionTest : public testing::SimulatedMachineTest {
protected:
    // One detection on a machine built from `profile`, with a helper of its own.
    Verdict detect() {
        auto& machine = start();
        Verdict verdict;
        {
            platform::WMIHelper wmi(L"ROOT\\CIMV2");
            GeneralDetection general(&wmi);
            machine.clearCalls();
            diagnostics::EvidenceCollector collector;
            verdict.sign = general.detect();
            verdict.evidence = collector.artefacts();
            verdict.status = wmi.getStatus();
        }
        for (const auto& call : machine.calls())
            if (call.function == "ExecQuery") verdict.queries.push_back(call.argument);
        return verdict;
    }

    static std::vector<std::string> firstQueries(size_t count) {
        return {kAllQueries.begin(), kAllQueries.begin() + static_cast<std::ptrdiff_t>(count)};
    }

    static std::vector<std::string> evidenceOfKind(const Verdict& verdict, const std::string& kind) {
        std::vector<std::string> values;
        for (const auto& artefact : verdict.evidence)
            if (artefact.kind == kind) values.push_back(artefact.value);
        return values;
    }

    testing::LogCapture log;
};

TEST_F(GeneralDetectionTest, APhysicalMachineShowsNoSignAfterAllElevenQueriesInStepOrder) {
    const Verdict verdict = detect();
    EXPECT_FALSE(verdict.sign);
    EXPECT_TRUE(verdict.evidence.empty());
    EXPECT_EQ(verdict.queries, kAllQueries);
    EXPECT_EQ(verdict.status, S_OK);  // every step reset the helper
}

// --- Step 1: disk drive hardware IDs ---

TEST_F(GeneralDetectionTest, AVirtualDiskInTheFirstHardwareIdIsASignAndNoWmiQueryIsMade) {
    addDiskDrive(profile, {L"SCSI\\DiskMsft____Virtual_Disk____1.0_", L"SCSI\\DiskMsft____Virtual_Disk____", L"GenDisk"});
    const Verdict verdict = detect();
    EXPECT_TRUE(verdict.sign);
    EXPECT_TRUE(verdict.queries.empty());
    EXPECT_EQ(evidenceOfKind(verdict, "hardware ID"), std::vector<std::string>{"SCSI\\DiskMsft____Virtual_Disk____1.0_"});
}

TEST_F(GeneralDetectionTest, EachProductWordIsFoundInAnyCase) {
    for (const wchar_t* id : {L"IDE\\DiskVBOX_HARDDISK___________________________1.0_____",
                              L"SCSI\\DiskVMware__Virtual_disk____2.0_", L"SCSI\\DiskQEMU____QEMU_HARDDISK___2.5+"}) {
        profile = profile::physicalMachineWithoutSigns();
        addDiskDrive(profile, {id, L"GenDisk"});
        EXPECT_TRUE(detect().sign) << Logger::toUtf8(id);
        stop();
    }
}

TEST_F(GeneralDetectionTest, AProductWordInTheSecondHardwareIdIsNotSeen) {
    addDiskDrive(profile, {L"USBSTOR\\DiskGeneric_STORAGE_DEVICE__1404", L"USBSTOR\\DiskGeneric_STORAGE_DEVICE__",
                           L"USBSTOR\\Virtual_CD", L"GenDisk"});
    const Verdict verdict = detect();
    EXPECT_FALSE(verdict.sign);
    EXPECT_EQ(verdict.queries, kAllQueries);
}

TEST_F(GeneralDetectionTest, ALaterDriveIsReadWithTheBufferOfTheEarlierOnes) {
    // A longer ID first, a shorter one after it: the buffer is reused and regrown.
    addDiskDrive(profile, {L"SCSI\\DiskNVMe____WDC_PC_SN730_SDBQ11140000_________________________"});
    addDiskDrive(profile, {L"IDE\\DiskQEMU_HARDDISK", L"GenDisk"});
    const Verdict verdict = detect();
    EXPECT_TRUE(verdict.sign);
    EXPECT_EQ(evidenceOfKind(verdict, "hardware ID"), std::vector<std::string>{"IDE\\DiskQEMU_HARDDISK"});
}

TEST_F(GeneralDetectionTest, ADriveWhoseBufferCannotBeAllocatedIsSkipped) {
    addDiskDrive(profile, {L"IDE\\DiskVBOX_HARDDISK", L"GenDisk"});
    addDiskDrive(profile, {L"SCSI\\DiskVMware__Virtual_disk"});
    auto& machine = start();
    machine.faults().failLocalAllocAt = 1;  // the VirtualBox drive, after the physical one

    platform::WMIHelper wmi(L"ROOT\\CIMV2");
    GeneralDetection general(&wmi);
    diagnostics::EvidenceCollector collector;
    EXPECT_TRUE(general.checkDiskDriveHardwareIds());
    ASSERT_EQ(collector.artefacts().size(), 1u);
    EXPECT_EQ(collector.artefacts()[0].value, "SCSI\\DiskVMware__Virtual_disk");
}

// --- Step 2: memory ---

TEST_F(GeneralDetectionTest, LessThanOneGibibyteIsASignAndNoWmiQueryIsMade) {
    profile.system.totalPhysicalMemory = kOneGiB - 4096;
    const Verdict verdict = detect();
    EXPECT_TRUE(verdict.sign);
    EXPECT_TRUE(verdict.queries.empty());
    EXPECT_EQ(evidenceOfKind(verdict, "memory size"), std::vector<std::string>{"1073737728 bytes"});
}

TEST_F(GeneralDetectionTest, ExactlyOneGibibyteIsNoSign) {
    profile.system.totalPhysicalMemory = kOneGiB;
    EXPECT_FALSE(detect().sign);
}

TEST_F(GeneralDetectionTest, AMemoryStatusThatCannotBeReadCountsAsNoMemory) {
    profile.system.totalPhysicalMemory.reset();
    const Verdict verdict = detect();
    EXPECT_TRUE(verdict.sign);
    EXPECT_EQ(evidenceOfKind(verdict, "memory size"), std::vector<std::string>{"0 bytes"});
}

// --- Steps 3 to 6 and 8: WMI values ---

struct ValueCase {
    const char* name;
    const wchar_t* className;
    const wchar_t* property;
    profile::WmiValue value;
    bool sign;
};

class GeneralDetectionValueTest : public GeneralDetectionTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(GeneralDetectionValueTest, SignOnlyWhereTheTableSaysSo) {
    const ValueCase& value = GetParam();
    setWmiValue(profile, value.className, value.property, value.value);
    const Verdict verdict = detect();
    EXPECT_EQ(verdict.sign, value.sign);
    if (value.sign) {
        EXPECT_EQ(evidenceOfKind(verdict, "WMI class"), std::vector<std::string>{Logger::toUtf8(value.className)});
        EXPECT_EQ(evidenceOfKind(verdict, "WMI property"), std::vector<std::string>{Logger::toUtf8(value.property)});
        EXPECT_EQ(evidenceOfKind(verdict, "WMI value").size(), 1u);
    } else {
        EXPECT_EQ(verdict.queries, kAllQueries);
    }
}

INSTANTIATE_TEST_SUITE_P(
    FirstRowValues, GeneralDetectionValueTest,
    ::testing::Values(
        ValueCase{"SerialZero", L"Win32_BIOS", L"SerialNumber", wmiText(L"0"), true},
        ValueCase{"SerialTwoZeros", L"Win32_BIOS", L"SerialNumber", wmiText(L"00"), false},
        ValueCase{"SerialSpaceZero", L"Win32_BIOS", L"SerialNumber", wmiText(L" 0"), false},
        ValueCase{"SerialZeroSpace", L"Win32_BIOS", L"SerialNumber", wmiText(L"0 "), false},
        ValueCase{"SerialEmpty", L"Win32_BIOS", L"SerialNumber", wmiText(L""), false},
        ValueCase{"SerialNumberZero", L"Win32_BIOS", L"SerialNumber", wmiInt(0), false},
        ValueCase{"SerialNull", L"Win32_BIOS", L"SerialNumber", wmiNull(), false},
        ValueCase{"SerialVmwareLowerCase", L"Win32_BIOS", L"SerialNumber",
                  wmiText(L"vmware-56 4d 9c 2a 71 1b 3e 0f-8a 52 4c 6e 19 d0 3b 77"), true},
        ValueCase{"SerialXen", L"Win32_BIOS", L"SerialNumber", wmiText(L"ec2e1a5c-xen"), true},
        ValueCase{"SerialVirtual", L"Win32_BIOS", L"SerialNumber", wmiText(L"VirtualBox-2f1e"), true},
        ValueCase{"SerialAmi", L"Win32_BIOS", L"SerialNumber", wmiText(L"A M I 1234"), true},
        ValueCase{"SerialAmiWithoutSpaces", L"Win32_BIOS", L"SerialNumber", wmiText(L"AMI1234"), false},
        ValueCase{"ModelVirtualBox", L"Win32_ComputerSystem", L"Model", wmiText(L"VirtualBox"), true},
        ValueCase{"ModelXenHvm", L"Win32_ComputerSystem", L"Model", wmiText(L"HVM domU"), true},
        ValueCase{"ModelVmware", L"Win32_ComputerSystem", L"Model", wmiText(L"VMware7,1"), true},
        ValueCase{"ModelQemuIsNotAModelWord", L"Win32_ComputerSystem", L"Model", wmiText(L"Standard PC (Q35 + ICH9, 2009) QEMU"), false},
        ValueCase{"MakerInnotek", L"Win32_ComputerSystem", L"Manufacturer", wmiText(L"innotek GmbH"), true},
        ValueCase{"MakerQemu", L"Win32_ComputerSystem", L"Manufacturer", wmiText(L"QEMU"), true},
        ValueCase{"MakerXen", L"Win32_ComputerSystem", L"Manufacturer", wmiText(L"Xen"), true},
        ValueCase{"MakerVmware", L"Win32_ComputerSystem", L"Manufacturer", wmiText(L"VMware, Inc."), true},
        ValueCase{"MakerMicrosoftIsNoSign", L"Win32_ComputerSystem", L"Manufacturer", wmiText(L"Microsoft Corporation"), false},
        ValueCase{"ProcessorIdNull", L"Win32_Processor", L"ProcessorId", wmiNull(), true},
        ValueCase{"ProcessorIdZeroNumber", L"Win32_Processor", L"ProcessorId", wmiInt(0), true},
        ValueCase{"ProcessorIdText", L"Win32_Processor", L"ProcessorId", wmiText(L"0000000000000000"), false},
        ValueCase{"CaptionHyperV", L"Win32_VideoController", L"Caption", wmiText(L"Microsoft Hyper-V Video"), true},
        ValueCase{"CaptionVmware", L"Win32_VideoController", L"Caption", wmiText(L"VMware SVGA 3D"), true},
        ValueCase{"CaptionBasicDisplay", L"Win32_VideoController", L"Caption", wmiText(L"Microsoft Basic Display Adapter"), false}),
    [](const ::testing::TestParamInfo<ValueCase>& info) { return info.param.name; });

TEST_F(GeneralDetectionTest, OnlyTheFirstVideoControllerIsExamined) {
    addWmiRow(profile, L"Win32_VideoController", {{L"Caption", wmiText(L"VMware SVGA 3D")}, {L"Name", wmiText(L"VMware SVGA 3D")}});
    EXPECT_FALSE(detect().sign);
}

TEST_F(GeneralDetectionTest, AProcessorClassWithoutRowsIsNoSign) {
    profile::removeWmiClass(profile, L"Win32_Processor");
    profile::addWmiClass(profile, L"Win32_Processor");
    const Verdict verdict = detect();
    EXPECT_FALSE(verdict.sign);
    EXPECT_EQ(log.countLines("Failed to get results for WMI query"), 1u) << log.text();
    EXPECT_EQ(verdict.queries, kAllQueries);
}

TEST_F(GeneralDetectionTest, AFailedValueQueryLeavesEveryLaterWmiStepWithoutAConnection) {
    profile.wmi.faults.execQueryByClass[L"Win32_BIOS"] = kAccessDenied;
    profile.system.power = {true, false, false, false, false, false};  // a sign at step 7: the non-WMI steps still run
    const Verdict verdict = detect();
    EXPECT_TRUE(verdict.sign);
    EXPECT_EQ(verdict.queries, firstQueries(1));
    EXPECT_EQ(evidenceOfKind(verdict, "power capabilities").size(), 1u);
}

// --- Step 7: power capabilities ---

TEST_F(GeneralDetectionTest, NoSleepStateAndNoThermalControlIsASign) {
    profile.system.power = {true, false, false, false, false, false};
    const Verdict verdict = detect();
    EXPECT_TRUE(verdict.sign);
    EXPECT_EQ(verdict.queries, firstQueries(4));  // step 7 comes before the video controller
}

TEST_F(GeneralDetectionTest, AnySleepStateOrThermalControlIsNoSign) {
    profile.system.power = {true, false, false, true, false, false};  // S3 only
    EXPECT_FALSE(detect().sign);
    stop();
    profile.system.power = {true, false, false, false, false, true};  // thermal control only
    EXPECT_FALSE(detect().sign);
}

TEST_F(GeneralDetectionTest, AFailedPowerQueryIsNoSignWhateverTheRecordHolds) {
    profile.system.power = {false, false, false, false, false, false};
    EXPECT_FALSE(detect().sign);
}

// --- Steps 9 to 14: instance counts ---

TEST_F(GeneralDetectionTest, AClassWithoutInstancesIsASign) {
    profile::removeWmiClass(profile, L"CIM_Slot");
    profile::addWmiClass(profile, L"CIM_Slot");
    const Verdict verdict = detect();
    EXPECT_TRUE(verdict.sign);
    EXPECT_EQ(verdict.queries, kAllQueries);
    EXPECT_EQ(evidenceOfKind(verdict, "WMI class"), std::vector<std::string>{"CIM_Slot"});
}

TEST_F(GeneralDetectionTest, AFailedCountIsNoSignAndSilencesTheLaterCounts) {
    profile.wmi.faults.execQueryByClass[L"Win32_PhysicalMemory"] = kAccessDenied;
    for (const auto* empty : {L"Win32_SMBIOSMemory", L"CIM_Slot"}) {
        profile::removeWmiClass(profile, empty);
        profile::addWmiClass(profile, empty);
    }
    const Verdict verdict = detect();
    EXPECT_FALSE(verdict.sign);
    EXPECT_EQ(verdict.queries, firstQueries(7));
    EXPECT_TRUE(FAILED(verdict.status));  // no reset after a failed count
}

// --- Machines described from real data ---

class GeneralDetectionPhysicalProfileTest : public GeneralDetectionTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(GeneralDetectionPhysicalProfileTest, ShowsNoSignAfterAllFourteenSteps) {
    profile = testing::loadFixtureProfile(GetParam());
    const Verdict verdict = detect();
    EXPECT_FALSE(verdict.sign);
    EXPECT_TRUE(verdict.evidence.empty());
    EXPECT_EQ(verdict.queries, kAllQueries);
    EXPECT_EQ(machine().countCalls("GetPwrCapabilities"), 1u);
    EXPECT_EQ(machine().countCalls("SetupDiEnumDeviceInfo"), 2u);  // one drive, then the end of the list
}

INSTANTIATE_TEST_SUITE_P(Fixtures, GeneralDetectionPhysicalProfileTest,
                         ::testing::Values("profiles/physical/beelink-eq12-desktop.json",
                                           "profiles/physical/dell-xps15-9560-laptop.json"));

TEST_F(GeneralDetectionTest, PlainWineShowsItsSignAtTheBiosSerialNumber) {
    profile = testing::loadFixtureProfile("profiles/wine/plain-wine.json");
    const Verdict verdict = detect();
    EXPECT_TRUE(verdict.sign);
    EXPECT_EQ(verdict.queries, firstQueries(1));
    EXPECT_EQ(evidenceOfKind(verdict, "WMI property"), std::vector<std::string>{"SerialNumber"});
    EXPECT_EQ(evidenceOfKind(verdict, "WMI value"), std::vector<std::string>{"0"});
}

}  // namespace
}  // namespace Corvane::utils::vmdetection
