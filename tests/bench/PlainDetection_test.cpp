// The benchmark's baseline is only a fair yardstick if it asks Windows exactly
// what the library asks.  Both run here against the same simulated machines;
// the calls that reach each machine must be the same, in the same order, with
// the same arguments, and the verdicts must agree.  The library's own text
// conversions for its log are its overhead, not a question to Windows, and
// are left out of the comparison.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/PlainDetection.h"
#include "toolkit/profile/ProfileBuilder.h"
#include "support/SimulatedMachineTest.h"
#include "vmdetection/VMDetectionManager.h"

namespace corvane_bench {
namespace {

using namespace Corvane::profile;
using Corvane::simulated::Call;
using Corvane::simulated::SimulatedMachine;
using Corvane::utils::vmdetection::VMDetectionManager;

struct Run {
    std::vector<std::string> calls;  // "Function(argument)"
    std::vector<std::pair<int, std::string>> verdicts;
    std::vector<std::string> leaks;
};

std::vector<std::string> questions(const SimulatedMachine& machine) {
    std::vector<std::string> out;
    for (const Call& call : machine.calls())
        if (call.function != "WideCharToMultiByte" && call.function != "GetCurrentThreadId")
            out.push_back(call.function + "(" + call.argument + ") " + call.flags);
    return out;
}

PlainVerdict detectWith(PlainDetection& plain) { return plain.detect(); }

PlainVerdict detectWith(VMDetectionManager& manager) {
    manager.runDetection();
    return {manager.resultType(), manager.resultName()};
}

// The calls, verdicts and leaks of two detections by a fresh `Detector` on a
// machine of its own: the first (with the WMI connection) and one more.
template <typename Detector>
Run runOn(const MachineProfile& profile) {
    SimulatedMachine machine(profile);
    Run run;
    {
        auto binding = machine.bind();
        Detector detector;
        for (int i = 0; i < 2; ++i) {
            const PlainVerdict verdict = detectWith(detector);
            run.verdicts.emplace_back(verdict.type, verdict.name);
        }
    }
    run.calls = questions(machine);
    run.leaks = machine.outstandingResources();
    return run;
}

void expectSameQuestions(const MachineProfile& profile, int expectedType = -1) {
    const Run library = runOn<VMDetectionManager>(profile);
    const Run plain = runOn<PlainDetection>(profile);
    EXPECT_THAT(plain.calls, ::testing::ElementsAreArray(library.calls)) << profile.description;
    EXPECT_EQ(library.verdicts, plain.verdicts) << profile.description;
    EXPECT_THAT(plain.leaks, ::testing::IsEmpty()) << "the baseline leaks on " << profile.description;
    if (expectedType >= 0) {
        for (const auto& verdict : library.verdicts) EXPECT_EQ(verdict.first, expectedType) << profile.description;
    }
}

// A general sign with nothing behind it.
MachineProfile physicalWithSmallMemory() {
    MachineProfile profile = physicalMachineWithoutSigns();
    profile.system.totalPhysicalMemory = 512ull << 20;
    return profile;
}

// The signs VirtualBox shows only in the last of its checks, so that all the
// others run first, the WMI walks over several rows included.
MachineProfile virtualBoxShownByWmiOnly() {
    MachineProfile profile = physicalWithSmallMemory();
    for (const wchar_t* mac : {L"00:11:22:33:44:55", L"D8:9E:F3:4A:1B:7E", L"66:77:88:99:AA:BB"})
        addWmiRow(profile, L"Win32_NetworkAdapterConfiguration", {{L"MACAddress", wmiText(mac)}});
    addWmiRow(profile, L"Win32_NetworkAdapterConfiguration", {{L"MACAddress", wmiNull()}});
    addWmiRow(profile, L"Win32_NTEventlogFile",
              {{L"LogfileName", wmiText(L"System")}, {L"Sources", wmiStrings({L"disk", L"e1dexpress", L"Ntfs"})}});
    for (const wchar_t* name : {L"Intel(R) 82801FB PCI Bridge", L"PCI standard host CPU bridge", L"Intel(R) 82371SB"})
        addWmiRow(profile, L"Win32_PnPEntity", {{L"Name", wmiText(name)}, {L"DeviceID", wmiText(L"PCI\\VEN_8086")}});
    for (const wchar_t* bus : {L"ACPIBus_BUS_0", L"PCI_BUS_0", L"PNP_BUS_0", L"USB_BUS_0"})
        addWmiRow(profile, L"Win32_Bus", {{L"Name", wmiText(bus)}});
    addWmiRow(profile, L"Win32_BaseBoard",
              {{L"Product", wmiText(L"0YNVJG")}, {L"Manufacturer", wmiText(L"Dell Inc.")}});
    addWmiRow(profile, L"Win32_PnPDevice",
              {{L"Name", wmiText(L"Generic PnP Monitor")},
               {L"Caption", wmiNull()},
               {L"PNPDeviceID", wmiText(L"DISPLAY\\DEL4109")}});
    addWmiRow(profile, L"Win32_PnPDevice",
              {{L"Name", wmiText(L"Disk drive")}, {L"Caption", wmiText(L"VBOX HARDDISK ATA Device")}});
    return profile;
}

TEST(PlainDetectionAsksWhatTheLibraryAsks, OnEachMachine) {
    const struct {
        MachineProfile machine;
        const char* description;
        int type;
        std::function<void(MachineProfile&)> change = {};
    } cases[] = {
        {physicalMachineWithoutSigns(), "physical machine", 1},
        // Every check of every product runs and finds nothing.
        {physicalWithSmallMemory(), "physical machine with 512 MiB", 1},
        {virtualBoxShownByWmiOnly(), "VirtualBox guest shown only by its Plug and Play devices", 4},
        {physicalWithSmallMemory(), "Wine with three adapters", 6,
         [](MachineProfile& p) {
             addRegistryKey(p, L"HKCU", L"SOFTWARE\\Wine");
             addAdapter(p, "52:54:00:12:34:56", "eth0");
             addAdapter(p, "00:1C:42:00:00:01", "VMWare");  // a description that is a VMware sign
         }},
        {physicalWithSmallMemory(), "WoW64 process", 1,
         [](MachineProfile& p) {
             p.system.wow64 = true;
             p.system.programW6432 = L"C:\\Program Files";
         }},
        {physicalMachineWithoutSigns(), "no WMI locator", 1,
         [](MachineProfile& p) { p.wmi.faults.createLocator = static_cast<int32_t>(0x80070005); }},
        {physicalMachineWithoutSigns(), "a failing count query", 1,
         [](MachineProfile& p) { p.wmi.faults.execQueryByClass[L"CIM_Memory"] = static_cast<int32_t>(0x80041017); }},
        {physicalWithSmallMemory(), "a row stream that fails", 1,
         [](MachineProfile& p) { p.wmi.faults.nextByClass[L"Win32_PnPEntity"] = static_cast<int32_t>(0x80041001); }},
    };
    for (const auto& row : cases) {
        MachineProfile machine = row.machine;
        machine.description = row.description;
        if (row.change) row.change(machine);
        expectSameQuestions(machine, row.type);
    }
}

TEST(PlainDetectionAsksWhatTheLibraryAsks, OnEveryRecordedMachineOfTheCorpus) {
    const auto root = Corvane::testing::fixturePath("profiles");
    int machines = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.path().extension() != ".json") continue;
        SCOPED_TRACE(entry.path().string());
        expectSameQuestions(loadProfileFile(entry.path()));
        ++machines;
    }
    EXPECT_GT(machines, 0) << "no profiles under " << root.string();
}

}  // namespace
}  // namespace corvane_bench
