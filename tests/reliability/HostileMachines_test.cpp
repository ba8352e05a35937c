// The library against hostile machines: firmware tables of awkward sizes and
// garbage, registry values of every type and size, WMI values of every
// VARIANT type, lists from empty to huge, failing start-up steps, queries and
// allocations.  On every one the whole library (two detections, then every
// step and every check on its own, with and without evidence wanted) must not
// crash or throw, must release exactly what it took, leave COM as it found it,
// and give the same verdicts twice.
//
//   CORVANE_FUZZ_CASES=100000   how many machines (default below)
//   CORVANE_FUZZ_SEED=1234      only the machine of this seed (replay)

#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "diagnostics/Evidence.h"
#include "support/SimulatedMachineTest.h"
#include "toolkit/profile/ProfileBuilder.h"
#include "toolkit/profile/ProfileJson.h"
#include "vmdetection/GeneralDetection.h"
#include "vmdetection/VMDetectionManager.h"

namespace Corvane::testing {
namespace {

using namespace profile;
using utils::vmdetection::GeneralDetection;
using utils::vmdetection::VMDetectionDefault;
using utils::vmdetection::VMDetectionManager;

constexpr uint64_t kDefaultCases = 2500;
constexpr uint64_t kFirstSeed = 0xC0A7A11E;  // fixed, so that CI is repeatable

// Deterministic choices (mt19937_64 is the same everywhere; distributions are not).
struct Dice {
    std::mt19937_64 engine;
    size_t below(size_t n) { return n == 0 ? 0 : static_cast<size_t>(engine() % n); }
    bool chance(int percent) { return below(100) < static_cast<size_t>(percent); }
    template <typename T>
    T pick(std::initializer_list<T> choices) {
        return *(choices.begin() + below(choices.size()));
    }
    std::vector<uint8_t> bytes(size_t count) {
        std::vector<uint8_t> out(count);
        for (auto& b : out) b = static_cast<uint8_t>(engine());
        return out;
    }
    // Around every buffer boundary: 4096 (firmware), 260 and 2048 (registry), 64 KiB.
    size_t size() { return pick<size_t>({0, 1, 3, 4, 5, 259, 260, 261, 2047, 2048, 2049, 4095, 4096, 4097, 70000}); }
    std::wstring text() {
        switch (below(3)) {
            case 0:
                return pick<std::wstring>({L"", L"0", L"VBOX", L"VMware", L"QEMU", L"Xen", L"08:00:27:12:34:56",
                                           L"PCI\\VEN_80EE&DEV_CAFE", L"System", L"vboxservice.exe",
                                           std::wstring(1, wchar_t(0xD800)), std::wstring(L"VBOX\0x", 6)});
            case 1: {
                std::wstring t(below(300), L'x');
                for (auto& c : t) c = static_cast<wchar_t>(1 + below(0xFFFF));
                return t;
            }
            default: return std::wstring(size() % 5000, pick({L'A', L'\\', L'%'}));
        }
    }
    std::string narrow() {
        std::string out;
        for (wchar_t c : text()) out.push_back(static_cast<char>((c & 0xFF) ? (c & 0xFF) : '?'));
        return out;
    }
};

const wchar_t* const kKeys[] = {L"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0",
                                L"HARDWARE\\Description\\System", L"SYSTEM\\ControlSet001\\Control\\SystemInformation",
                                L"SOFTWARE\\Oracle\\VirtualBox Guest Additions"};
const wchar_t* const kValueNames[] = {L"Identifier", L"SystemBiosVersion", L"VideoBiosVersion", L"SystemBiosDate",
                                      L"SystemManufacturer"};
const std::pair<const wchar_t*, std::vector<const wchar_t*>> kClasses[] = {
    {L"Win32_BIOS", {L"SerialNumber"}},
    {L"Win32_ComputerSystem", {L"Model", L"Manufacturer"}},
    {L"Win32_Processor", {L"ProcessorId"}},
    {L"Win32_VideoController", {L"Caption"}},
    {L"Win32_CacheMemory", {L"Name"}},
    {L"CIM_Slot", {L"Tag"}},
    {L"Win32_NetworkAdapterConfiguration", {L"MACAddress"}},
    {L"Win32_NTEventlogFile", {L"LogfileName", L"Sources"}},
    {L"Win32_PnPEntity", {L"Name", L"DeviceID"}},
    {L"Win32_Bus", {L"Name"}},
    {L"Win32_BaseBoard", {L"Product", L"Manufacturer"}},
    {L"Win32_PnPDevice", {L"Name", L"Caption", L"PNPDeviceID"}}};

// A crash ends the process: its seed is said first, for the replay.
volatile uint64_t g_seed = 0;
LONG WINAPI reportCrashingSeed(EXCEPTION_POINTERS*) {
    std::fprintf(stderr, "\nCRASH on the hostile machine of seed %llu\n", static_cast<unsigned long long>(g_seed));
    return EXCEPTION_CONTINUE_SEARCH;
}

void mutate(Dice& dice, MachineProfile& machine, simulated::Faults& faults) {
    switch (dice.below(9)) {
        case 0: machine.firmware.rawSmbios = dice.bytes(dice.size()); break;
        case 1: {
            machine.firmware.acpiTables.clear();
            for (size_t i = dice.pick<size_t>({0, 1, 3, 1025}); i > 0; --i)
                machine.firmware.acpiTables.push_back(
                    {static_cast<uint32_t>(dice.engine()), dice.bytes(dice.below(300))});
            if (dice.chance(40))
                machine.firmware.acpiEnumerationResult = dice.pick<uint32_t>({0, 3, 4, 4097, 0xFFFFFFFF});
            machine.firmware.functionsPresent = !dice.chance(5);
            break;
        }
        case 2: {
            auto& key = addRegistryKey(machine, L"HKLM", kKeys[dice.below(std::size(kKeys))]);
            key.accessDenied = dice.chance(10);
            const uint32_t type = static_cast<uint32_t>(dice.below(12));
            addRawValue(key, kValueNames[dice.below(std::size(kValueNames))], type,
                        dice.chance(50) ? dice.bytes(dice.size())
                                        : registryMultiStringBytes({dice.text(), dice.text()}));
            break;
        }
        case 3: {
            const auto& [name, properties] = kClasses[dice.below(std::size(kClasses))];
            removeWmiClass(machine, name);
            auto& wmiClass = addWmiClass(machine, name);
            wmiClass.known = !dice.chance(5);
            for (size_t r = dice.pick<size_t>({0, 1, 3, 300}); r > 0; --r) {
                WmiRow row;
                for (const wchar_t* property : properties) {
                    WmiValue value;
                    value.vt = dice.pick<uint16_t>({VT_EMPTY, VT_NULL, VT_I4, VT_R8, VT_BSTR, VT_BOOL, VT_UNKNOWN,
                                                    VT_UI1, VT_I8, VT_BSTR, VT_ARRAY | VT_BSTR});
                    if (value.vt == VT_BSTR) value.text = dice.text();
                    if (value.vt == (VT_ARRAY | VT_BSTR))
                        value.strings.assign(dice.pick<size_t>({0, 1, 40}), dice.text());
                    if (value.vt != VT_UNKNOWN && value.vt != VT_BSTR)
                        value.integer = static_cast<int64_t>(dice.engine());
                    row.properties.emplace_back(property, value);
                }
                wmiClass.rows.push_back(std::move(row));
            }
            if (dice.chance(10)) machine.wmi.faults.execQueryByClass[name] = static_cast<int32_t>(0x80041010);
            if (dice.chance(10)) machine.wmi.faults.nextByClass[name] = static_cast<int32_t>(0x8007000E);
            break;
        }
        case 4: {
            int32_t WmiFaults::*const steps[] = {&WmiFaults::coInitializeEx, &WmiFaults::coInitializeSecurity,
                                                 &WmiFaults::createLocator, &WmiFaults::connectServer,
                                                 &WmiFaults::setProxyBlanket};
            machine.wmi.faults.*steps[dice.below(std::size(steps))] = static_cast<int32_t>(
                dice.pick<uint32_t>({0x80010106, 0x80010119, 0x80070005}));
            break;
        }
        case 5: {
            machine.adapters.clear();
            for (size_t i = dice.pick<size_t>({0, 1, 5, 100}); i > 0; --i) {
                NetworkAdapter adapter;
                adapter.description = dice.narrow();
                adapter.addressLength = static_cast<uint32_t>(dice.below(9));
                adapter.address = dice.bytes(8);
                machine.adapters.push_back(std::move(adapter));
            }
            if (dice.chance(15)) machine.system.adaptersInfoError = dice.pick<uint32_t>({232, 50, 111});
            break;
        }
        case 6: {
            machine.processes.clear();
            for (size_t i = dice.pick<size_t>({0, 1, 300}); i > 0; --i)
                machine.processes.push_back({static_cast<uint32_t>(dice.engine()), dice.text()});
            machine.system.toolhelpFails = dice.chance(10);
            machine.diskDrives.assign(dice.below(4), DiskDrive{{dice.text(), dice.text()}});
            if (dice.chance(20)) machine.system.setupDiError = dice.pick<uint32_t>({0, 5, 259, 1168});
            break;
        }
        case 7: {
            const std::wstring folder = dice.pick<std::wstring>(
                {L"", L"C:", L"\\\\?\\C:\\Windows", L"%ProgramW6432%", L"C:\\" + std::wstring(300, L'w')});
            (dice.chance(50) ? machine.system.windowsDirectory : machine.system.programW6432) = folder;
            machine.system.wow64 = dice.chance(50);
            machine.system.isWow64ProcessFails = dice.chance(20);
            addPathError(machine, L"C:\\Program Files\\VMWare", dice.pick<uint32_t>({5, 21, 123}));
            addDevice(machine, L"\\\\.\\VBoxGuest", dice.pick<uint32_t>({0, 5, 231}));
            if (dice.chance(30)) machine.system.totalPhysicalMemory.reset();
            machine.system.power = {!dice.chance(20), dice.chance(50), false, false, false, dice.chance(50)};
            break;
        }
        default:
            if (dice.chance(50)) faults.failHeapAllocAt = static_cast<int>(dice.below(6));
            if (dice.chance(50)) faults.failLocalAllocAt = static_cast<int>(dice.below(4));
            faults.failGetAdaptersInfo = dice.chance(30);
            faults.firmwareSecondCallFails = dice.chance(30);
            break;
    }
}

// Empty when the library handled the machine well; otherwise what went wrong.
std::string runLibrary(const MachineProfile& profile, const simulated::Faults& faults, bool evidenceWanted,
                       std::vector<int32_t>& verdicts) {
    simulated::SimulatedMachine machine(profile);
    machine.faults() = faults;
    std::string problems;
    {
        auto binding = machine.bind();
        std::optional<diagnostics::EvidenceCollector> evidence;
        if (evidenceWanted) evidence.emplace();
        try {
            VMDetectionManager manager;
            for (int i = 0; i < 2; ++i) {
                manager.runDetection();
                verdicts.push_back(manager.resultType());
            }
            auto& general = static_cast<GeneralDetection&>(*manager.getGeneralDetector());
            for (const auto& step : GeneralDetection::steps()) (general.*step.test)();
            for (const auto& detector : manager.getDetectors())
                for (const auto& slot : VMDetectionDefault::checkSlots()) ((*detector).*slot.check)();
        } catch (const std::exception& error) {
            problems += "\n  an exception left the library: " + std::string(error.what());
        } catch (...) {
            problems += "\n  an exception of unknown type left the library";
        }
        if (machine.comInitializationDepth() != 0) problems += "\n  COM initialisations left on the thread";
    }
    for (const auto& leak : machine.outstandingResources()) problems += "\n  left unreleased: " + leak;
    for (const auto& wrong : machine.invalidReleases()) problems += "\n  released what it did not hold: " + wrong;
    return problems;
}

TEST(HostileMachines, NoCrashNoLeakAndTheSameVerdictsWithEvidenceWanted) {
    std::vector<MachineProfile> bases = {physicalMachineWithoutSigns(), MachineProfile{}};
    for (const auto& entry : std::filesystem::recursive_directory_iterator(fixturePath("profiles")))
        if (entry.path().extension() == ".json") bases.push_back(loadProfileFile(entry.path()));

    SetUnhandledExceptionFilter(reportCrashingSeed);
    const char* replay = std::getenv("CORVANE_FUZZ_SEED");
    const char* cases = std::getenv("CORVANE_FUZZ_CASES");
    const uint64_t first = replay ? std::strtoull(replay, nullptr, 0) : kFirstSeed;
    const uint64_t count = replay ? 1 : (cases ? std::strtoull(cases, nullptr, 0) : kDefaultCases);
    int failures = 0;
    for (uint64_t seed = first; seed < first + count && failures < 10; ++seed) {
        g_seed = seed;
        Dice dice{std::mt19937_64(seed)};
        // Recorded machines carry real firmware tables, slow to search: fewer of them.
        MachineProfile machine = bases[dice.chance(70) ? dice.below(2) : dice.below(bases.size())];
        simulated::Faults faults;
        for (size_t changes = 1 + dice.below(10); changes > 0; --changes) mutate(dice, machine, faults);
        std::vector<int32_t> plain, withEvidence;
        std::string problems = runLibrary(machine, faults, false, plain);
        problems += runLibrary(machine, faults, true, withEvidence);
        if (plain != withEvidence) problems += "\n  wanting evidence changed the verdicts";
        if (problems.empty()) continue;
        ++failures;
        ADD_FAILURE() << "the hostile machine of seed " << seed << " (replay with CORVANE_FUZZ_SEED=" << seed
                      << "):" << problems;
    }
}

}  // namespace
}  // namespace Corvane::testing
