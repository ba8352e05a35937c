// The general detector's fourteen steps: each row is a machine without signs
// but one change, whether that change is a sign, and how many WMI queries the
// detection made (so a step out of order or a walk that goes on after its
// sign shows).
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/WMIHelper.h"
#include "support/SimulatedMachineTest.h"
#include "vmdetection/GeneralDetection.h"

namespace Corvane::utils::vmdetection {
namespace {

using namespace profile;

constexpr uint64_t kOneGiB = 0x40000000;
constexpr int32_t kAccessDenied = static_cast<int32_t>(0x80041003);
constexpr size_t kAll = 11;  // five value queries and six counts

void emptyClass(MachineProfile& p, const wchar_t* name) {
    removeWmiClass(p, name);
    addWmiClass(p, name);
}
void value(MachineProfile& p, const wchar_t* className, const wchar_t* property, WmiValue v) {
    setWmiValue(p, className, property, std::move(v));
}

struct Step {
    const char* label;
    std::function<void(MachineProfile&)> give;
    bool sign;
    size_t queries;
};

const wchar_t* kBios = L"Win32_BIOS";
const wchar_t* kSystem = L"Win32_ComputerSystem";
const wchar_t* kVideo = L"Win32_VideoController";

const std::vector<Step> kSteps = {
    {"nothing", [](MachineProfile&) {}, false, kAll},
    {"VBOX disk",
     [](MachineProfile& p) {
         addDiskDrive(p, {L"IDE\\DiskVBOX_HARDDISK", L"GenDisk"});
     },
     true, 0},
    {"vmware disk", [](MachineProfile& p) { addDiskDrive(p, {L"SCSI\\Diskvmware_disk"}); }, true, 0},
    {"Qemu disk", [](MachineProfile& p) { addDiskDrive(p, {L"IDE\\DiskQemu_HARDDISK"}); }, true, 0},
    {"VIRTUAL disk", [](MachineProfile& p) { addDiskDrive(p, {L"SCSI\\DiskMsft_VIRTUAL_Disk"}); }, true, 0},
    {"second hardware ID",
     [](MachineProfile& p) {
         addDiskDrive(p, {L"USBSTOR\\Generic", L"USBSTOR\\Virtual_CD"});
     },
     false, kAll},
    {"disk match, last error 259",
     [](MachineProfile& p) {
         addDiskDrive(p, {L"IDE\\DiskVBOX"});
         p.system.setupDiError = 259;
     },
     true, 0},
    {"disk match, last error 0",
     [](MachineProfile& p) {
         addDiskDrive(p, {L"IDE\\DiskVBOX"});
         p.system.setupDiError = 0;
     },
     true, 0},
    {"disk match, unexpected last error",
     [](MachineProfile& p) {
         addDiskDrive(p, {L"IDE\\DiskVBOX"});
         p.system.setupDiError = 13;
     },
     false, kAll},
    {"1 GiB less one byte", [](MachineProfile& p) { p.system.totalPhysicalMemory = kOneGiB - 1; }, true, 0},
    {"exactly 1 GiB", [](MachineProfile& p) { p.system.totalPhysicalMemory = kOneGiB; }, false, kAll},
    {"memory unreadable", [](MachineProfile& p) { p.system.totalPhysicalMemory.reset(); }, true, 0},
    {"serial 0", [](MachineProfile& p) { value(p, kBios, L"SerialNumber", wmiText(L"0")); }, true, 1},
    {"serial 00", [](MachineProfile& p) { value(p, kBios, L"SerialNumber", wmiText(L"00")); }, false, kAll},
    {"serial ' 0'", [](MachineProfile& p) { value(p, kBios, L"SerialNumber", wmiText(L" 0")); }, false, kAll},
    {"serial number 0", [](MachineProfile& p) { value(p, kBios, L"SerialNumber", wmiInt(0)); }, false, kAll},
    {"serial vmware", [](MachineProfile& p) { value(p, kBios, L"SerialNumber", wmiText(L"vmware-56 4d")); }, true, 1},
    {"serial xen", [](MachineProfile& p) { value(p, kBios, L"SerialNumber", wmiText(L"ec2-xen")); }, true, 1},
    {"serial virtual", [](MachineProfile& p) { value(p, kBios, L"SerialNumber", wmiText(L"VIRTUAL-1")); }, true, 1},
    {"serial A M I", [](MachineProfile& p) { value(p, kBios, L"SerialNumber", wmiText(L"a m i 12")); }, true, 1},
    {"serial AMI", [](MachineProfile& p) { value(p, kBios, L"SerialNumber", wmiText(L"AMI12")); }, false, kAll},
    {"model virtualbox", [](MachineProfile& p) { value(p, kSystem, L"Model", wmiText(L"virtualbox")); }, true, 2},
    {"model hvm domu", [](MachineProfile& p) { value(p, kSystem, L"Model", wmiText(L"hvm domu")); }, true, 2},
    {"model VMWARE7,1", [](MachineProfile& p) { value(p, kSystem, L"Model", wmiText(L"VMWARE7,1")); }, true, 2},
    {"model QEMU", [](MachineProfile& p) { value(p, kSystem, L"Model", wmiText(L"QEMU")); }, false, kAll},
    {"maker innotek gmbh", [](MachineProfile& p) { value(p, kSystem, L"Manufacturer", wmiText(L"INNOTEK GMBH")); },
     true, 3},
    {"maker qemu", [](MachineProfile& p) { value(p, kSystem, L"Manufacturer", wmiText(L"qemu")); }, true, 3},
    {"maker xen", [](MachineProfile& p) { value(p, kSystem, L"Manufacturer", wmiText(L"XEN")); }, true, 3},
    {"maker vmware", [](MachineProfile& p) { value(p, kSystem, L"Manufacturer", wmiText(L"vmware, inc.")); }, true, 3},
    {"processor id null", [](MachineProfile& p) { value(p, L"Win32_Processor", L"ProcessorId", wmiNull()); }, true, 4},
    {"processor id number 0", [](MachineProfile& p) { value(p, L"Win32_Processor", L"ProcessorId", wmiInt(0)); }, true,
     4},
    {"processor id text", [](MachineProfile& p) { value(p, L"Win32_Processor", L"ProcessorId", wmiText(L"0")); }, false,
     kAll},
    {"no processor row", [](MachineProfile& p) { emptyClass(p, L"Win32_Processor"); }, false, kAll},
    {"no sleep state", [](MachineProfile& p) { p.system.power = {true, false, false, false, false, false}; }, true, 4},
    {"S1 only", [](MachineProfile& p) { p.system.power = {true, true, false, false, false, false}; }, false, kAll},
    {"S2 only", [](MachineProfile& p) { p.system.power = {true, false, true, false, false, false}; }, false, kAll},
    {"S3 only", [](MachineProfile& p) { p.system.power = {true, false, false, true, false, false}; }, false, kAll},
    {"S4 only", [](MachineProfile& p) { p.system.power = {true, false, false, false, true, false}; }, false, kAll},
    {"thermal control only", [](MachineProfile& p) { p.system.power = {true, false, false, false, false, true}; },
     false, kAll},
    {"power query fails", [](MachineProfile& p) { p.system.power = {false, false, false, false, false, false}; }, false,
     kAll},
    {"caption hyper-v", [](MachineProfile& p) { value(p, kVideo, L"Caption", wmiText(L"Microsoft HYPER-V Video")); },
     true, 5},
    {"caption vmware", [](MachineProfile& p) { value(p, kVideo, L"Caption", wmiText(L"vmware SVGA")); }, true, 5},
    {"second video row",
     [](MachineProfile& p) {
         addWmiRow(p, kVideo, {{L"Caption", wmiText(L"VMware SVGA")}});
     },
     false, kAll},
    {"no cache memory", [](MachineProfile& p) { emptyClass(p, L"Win32_CacheMemory"); }, true, 6},
    {"no physical memory", [](MachineProfile& p) { emptyClass(p, L"Win32_PhysicalMemory"); }, true, 7},
    {"no SMBIOS memory", [](MachineProfile& p) { emptyClass(p, L"Win32_SMBIOSMemory"); }, true, 8},
    {"no CIM memory", [](MachineProfile& p) { emptyClass(p, L"CIM_Memory"); }, true, 9},
    {"no connector", [](MachineProfile& p) { emptyClass(p, L"CIM_PhysicalConnector"); }, true, 10},
    {"no slot", [](MachineProfile& p) { emptyClass(p, L"CIM_Slot"); }, true, 11},
    {"failed count silences the later ones",
     [](MachineProfile& p) {
         p.wmi.faults.execQueryByClass[L"Win32_PhysicalMemory"] = kAccessDenied;
         emptyClass(p, L"CIM_Slot");
     },
     false, 7},
    {"failed value query, later power sign",
     [](MachineProfile& p) {
         p.wmi.faults.execQueryByClass[kBios] = kAccessDenied;
         p.system.power = {true, false, false, false, false, false};
     },
     true, 1},
};

class GeneralDetectionTest : public Corvane::testing::SimulatedMachineTest {};

TEST_F(GeneralDetectionTest, EachStepSignsOnlyWhereItsRuleSays) {
    for (const Step& step : kSteps) {
        profile = physicalMachineWithoutSigns();
        step.give(profile);
        auto& machine = start();
        bool sign = false;
        {
            platform::WMIHelper wmi(L"ROOT\\CIMV2");
            GeneralDetection general(&wmi);
            machine.clearCalls();
            sign = general.detect();
        }
        EXPECT_EQ(sign, step.sign) << step.label;
        EXPECT_EQ(machine.countCalls("ExecQuery"), step.queries) << step.label;
        stop();
    }
}

// BOOLEAN answers other than TRUE are no answer: the capabilities are not read.
TEST_F(GeneralDetectionTest, OnlyAnExactTrueFromThePowerQueryIsAnAnswer) {
    profile = physicalMachineWithoutSigns();
    profile.system.power = {true, false, false, false, false, false};  // no sleep state: a sign if read
    start().faults().powerAnswer = 2;
    platform::WMIHelper wmi(L"ROOT\\CIMV2");
    EXPECT_FALSE(GeneralDetection(&wmi).detect());
}

}  // namespace
}  // namespace Corvane::utils::vmdetection
