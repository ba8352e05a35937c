// The general detector's fourteen steps: each row is a machine without signs
// but one change, whether that change is a sign, and how many WMI queries the
// detection made (so a step out of order or a walk that goes on after its
// sign shows).
#include <gtest/gtest.h>

#include <functional>
#include <optional>
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

struct Step {
    const char* label;
    std::function<void(MachineProfile&)> give;
    bool sign;
    size_t queries;
};

// A change seen at the step that has made `queries` WMI queries: a sign ends
// the detection there, anything else lets it run through every query.
Step at(const char* label, size_t queries, bool sign, std::function<void(MachineProfile&)> give) {
    return {label, std::move(give), sign, sign ? queries : kAll};
}
Step wmi(const char* label, size_t queries, const wchar_t* className, const wchar_t* property, WmiValue v, bool sign) {
    return at(label, queries, sign, [=](MachineProfile& p) { setWmiValue(p, className, property, v); });
}
Step noRows(const char* label, size_t queries, const wchar_t* className, bool sign) {
    return at(label, queries, sign, [=](MachineProfile& p) {
        removeWmiClass(p, className);
        addWmiClass(p, className);
    });
}
Step disk(const char* label, std::vector<std::wstring> ids, bool sign, std::optional<uint32_t> lastError = {}) {
    return at(label, 0, sign, [=](MachineProfile& p) {
        addDiskDrive(p, ids);
        if (lastError) p.system.setupDiError = lastError;
    });
}
Step power(const char* label, PowerCapabilities capabilities, bool sign) {
    return at(label, 4, sign, [=](MachineProfile& p) { p.system.power = capabilities; });
}
Step memory(const char* label, std::optional<uint64_t> bytes, bool sign) {
    return at(label, 0, sign, [=](MachineProfile& p) { p.system.totalPhysicalMemory = bytes; });
}

const wchar_t* kBios = L"Win32_BIOS";
const wchar_t* kSystem = L"Win32_ComputerSystem";
const wchar_t* kCpu = L"Win32_Processor";
const wchar_t* kVideo = L"Win32_VideoController";

const std::vector<Step> kSteps = {
    {"nothing", [](MachineProfile&) {}, false, kAll},
    disk("VBOX disk", {L"IDE\\DiskVBOX_HARDDISK", L"GenDisk"}, true),
    disk("vmware disk", {L"SCSI\\Diskvmware_disk"}, true),
    disk("Qemu disk", {L"IDE\\DiskQemu_HARDDISK"}, true),
    disk("VIRTUAL disk", {L"SCSI\\DiskMsft_VIRTUAL_Disk"}, true),
    disk("second hardware ID", {L"USBSTOR\\Generic", L"USBSTOR\\Virtual_CD"}, false),
    disk("disk match, last error 259", {L"IDE\\DiskVBOX"}, true, 259),
    disk("disk match, last error 0", {L"IDE\\DiskVBOX"}, true, 0),
    disk("disk match, unexpected last error", {L"IDE\\DiskVBOX"}, false, 13),
    memory("1 GiB less one byte", kOneGiB - 1, true),
    memory("exactly 1 GiB", kOneGiB, false),
    memory("memory unreadable", std::nullopt, true),
    wmi("serial 0", 1, kBios, L"SerialNumber", wmiText(L"0"), true),
    wmi("serial 00", 1, kBios, L"SerialNumber", wmiText(L"00"), false),
    wmi("serial ' 0'", 1, kBios, L"SerialNumber", wmiText(L" 0"), false),
    wmi("serial number 0", 1, kBios, L"SerialNumber", wmiInt(0), false),
    wmi("serial vmware", 1, kBios, L"SerialNumber", wmiText(L"vmware-56 4d"), true),
    wmi("serial xen", 1, kBios, L"SerialNumber", wmiText(L"ec2-xen"), true),
    wmi("serial virtual", 1, kBios, L"SerialNumber", wmiText(L"VIRTUAL-1"), true),
    wmi("serial A M I", 1, kBios, L"SerialNumber", wmiText(L"a m i 12"), true),
    wmi("serial AMI", 1, kBios, L"SerialNumber", wmiText(L"AMI12"), false),
    wmi("model virtualbox", 2, kSystem, L"Model", wmiText(L"virtualbox"), true),
    wmi("model hvm domu", 2, kSystem, L"Model", wmiText(L"hvm domu"), true),
    wmi("model VMWARE7,1", 2, kSystem, L"Model", wmiText(L"VMWARE7,1"), true),
    wmi("model QEMU", 2, kSystem, L"Model", wmiText(L"QEMU"), false),
    wmi("maker innotek gmbh", 3, kSystem, L"Manufacturer", wmiText(L"INNOTEK GMBH"), true),
    wmi("maker qemu", 3, kSystem, L"Manufacturer", wmiText(L"qemu"), true),
    wmi("maker xen", 3, kSystem, L"Manufacturer", wmiText(L"XEN"), true),
    wmi("maker vmware", 3, kSystem, L"Manufacturer", wmiText(L"vmware, inc."), true),
    wmi("processor id null", 4, kCpu, L"ProcessorId", wmiNull(), true),
    wmi("processor id number 0", 4, kCpu, L"ProcessorId", wmiInt(0), true),
    wmi("processor id text", 4, kCpu, L"ProcessorId", wmiText(L"0"), false),
    noRows("no processor row", 4, kCpu, false),
    power("no sleep state", {true, false, false, false, false, false}, true),
    power("S1 only", {true, true, false, false, false, false}, false),
    power("S2 only", {true, false, true, false, false, false}, false),
    power("S3 only", {true, false, false, true, false, false}, false),
    power("S4 only", {true, false, false, false, true, false}, false),
    power("thermal control only", {true, false, false, false, false, true}, false),
    power("power query fails", {false, false, false, false, false, false}, false),
    wmi("caption hyper-v", 5, kVideo, L"Caption", wmiText(L"Microsoft HYPER-V Video"), true),
    wmi("caption vmware", 5, kVideo, L"Caption", wmiText(L"vmware SVGA"), true),
    at("second video row", 5, false,
       [](MachineProfile& p) {
           addWmiRow(p, kVideo, {{L"Caption", wmiText(L"VMware SVGA")}});
       }),
    noRows("no cache memory", 6, L"Win32_CacheMemory", true),
    noRows("no physical memory", 7, L"Win32_PhysicalMemory", true),
    noRows("no SMBIOS memory", 8, L"Win32_SMBIOSMemory", true),
    noRows("no CIM memory", 9, L"CIM_Memory", true),
    noRows("no connector", 10, L"CIM_PhysicalConnector", true),
    noRows("no slot", 11, L"CIM_Slot", true),
    {"failed count silences the later ones",
     [](MachineProfile& p) {
         p.wmi.faults.execQueryByClass[L"Win32_PhysicalMemory"] = kAccessDenied;
         removeWmiClass(p, L"CIM_Slot");
         addWmiClass(p, L"CIM_Slot");
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
