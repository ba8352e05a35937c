#include "reliability/HostileMachines.h"

#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <initializer_list>
#include <random>

#include "toolkit/profile/ProfileBuilder.h"
#include "toolkit/profile/ProfileJson.h"
#include "toolkit/profile/ProfileText.h"

namespace Corvane::testing {
namespace {

using namespace profile;

// Deterministic choices from a seed (std::mt19937_64 is the same everywhere;
// no distribution objects, whose results the standard leaves open).
class Dice {
public:
    explicit Dice(uint64_t seed) : engine_(seed) {}
    uint64_t next() { return engine_(); }
    size_t below(size_t n) { return n == 0 ? 0 : static_cast<size_t>(next() % n); }
    bool chance(int percent) { return below(100) < static_cast<size_t>(percent); }
    template <typename T>
    T pick(std::initializer_list<T> choices) {
        return *(choices.begin() + below(choices.size()));
    }
    template <typename T>
    const T& pick(const std::vector<T>& choices) {
        return choices[below(choices.size())];
    }
    std::vector<uint8_t> bytes(size_t count) {
        std::vector<uint8_t> out(count);
        for (auto& b : out) b = static_cast<uint8_t>(next());
        return out;
    }

private:
    std::mt19937_64 engine_;
};

// Sizes around every boundary the library's buffers have: tiny, the 4096-byte
// first firmware buffer, the 260-byte registry limit and 2048-byte buffer,
// and far beyond 64 KiB.
size_t hostileSize(Dice& dice) {
    switch (dice.below(6)) {
        case 0: return dice.below(9);                                   // 0 to 8
        case 1: return 4095 + dice.below(3);                            // 4095 to 4097
        case 2: return dice.pick<size_t>({259, 260, 261, 262, 2046, 2047, 2048, 2049, 2050});
        case 3: return 65536 + dice.below(8192);                        // over 64 KiB
        case 4: return dice.below(20000);
        default: return dice.below(600);
    }
}

// Texts the detectors look for, near misses, and texts no one expects.
const std::vector<std::wstring>& interestingTexts() {
    static const std::vector<std::wstring> texts = {
        L"", L"0", L"00", L" 0", L"0 ", L"VirtualBox", L"VBOX", L"vbox", L"VBOX__", L"VMware", L"VMWARE", L"VMWare",
        L"QEMU", L"qemu", L"BOCHS BXPC", L"Xen", L"HVM domU", L"innotek GmbH", L"Hyper-V", L"A M I", L"Virtual",
        L"08:00:27:12:34:56", L"08-00-27-12-34-56", L"PCI\\VEN_80EE&DEV_CAFE&SUBSYS_00000000", L"VBoxVideoW8",
        L"vboxvideo", L"System", L"Oracle Corporation", L"ACPIBus_BUS_0", L"PCI_BUS_0", L"PNP_BUS_0", L"82801FB",
        L"82441FX", L"82371SB", L"OpenHCD", L"VEN_VBOX", L"06/23/99", L"VirtualBox Shared Folders",
        L"vboxservice.exe", L"VBoxService.exe", L"vmtoolsd.exe", L"qemu-ga.exe", L"xenservice.exe", L"prl_cc.exe",
        L"VMSrvc.exe", L"\u00e9\u4e2d\U0001F600", std::wstring(1, wchar_t(0xD800)), std::wstring(1, wchar_t(0xFFFF)),
        std::wstring(L"VBOX\0hidden", 11),
    };
    return texts;
}

std::wstring hostileText(Dice& dice) {
    switch (dice.below(5)) {
        case 0:
        case 1: return dice.pick(interestingTexts());
        case 2: {  // any UTF-16 code units, lone surrogates included, no NUL
            std::wstring text(dice.below(300), L'x');
            for (auto& c : text) c = static_cast<wchar_t>(1 + dice.below(0xFFFF));
            return text;
        }
        case 3: {  // around MAX_PATH, and now and then far beyond 64 KiB
            const size_t length = dice.chance(10) ? 70000 : dice.pick<size_t>({259, 260, 261, 1024, 5000});
            return std::wstring(length, dice.pick({L'A', L'\\', L'%'}));
        }
        default: return dice.pick(interestingTexts()) + std::wstring(dice.below(40), L' ') + dice.pick(interestingTexts());
    }
}

std::string narrowHostileText(Dice& dice) {
    std::string text;
    for (wchar_t c : hostileText(dice)) text.push_back(static_cast<char>(c & 0xFF ? c & 0xFF : '?'));
    if (dice.chance(20)) text = dice.pick<std::string>({"VMWare", "VMware", "vmware", "VirtualBox Host-Only Ethernet"});
    return text;
}

// ------------------------------------------------------------------ firmware

std::vector<uint8_t> plausibleSmbios(Dice& dice) {
    std::vector<std::vector<uint8_t>> structures;
    const size_t count = 1 + dice.below(6);
    for (size_t i = 0; i < count; ++i) {
        std::vector<std::string> strings;
        for (size_t s = dice.below(5); s > 0; --s) {
            std::string text;
            for (wchar_t c : dice.pick(interestingTexts())) text.push_back(static_cast<char>(c & 0x7F));
            strings.push_back(text.empty() ? "x" : text);
        }
        structures.push_back(smbiosStructure(static_cast<uint8_t>(dice.below(128)), static_cast<uint16_t>(i),
                                             dice.bytes(dice.below(30)), strings));
    }
    return rawSmbiosData(structures, static_cast<uint8_t>(dice.below(4)), static_cast<uint8_t>(dice.below(9)));
}

void hostileSmbios(Dice& dice, HostileMachine& machine) {
    auto& firmware = machine.profile.firmware;
    switch (dice.below(5)) {
        case 0:
            firmware.rawSmbios.reset();
            machine.story.push_back("SMBIOS: none");
            break;
        case 1: {
            firmware.rawSmbios = dice.bytes(hostileSize(dice));
            machine.story.push_back("SMBIOS: " + std::to_string(firmware.rawSmbios->size()) + " bytes of garbage");
            break;
        }
        case 2: {  // a real-looking table cut short
            auto table = plausibleSmbios(dice);
            table.resize(dice.below(table.size() + 1));
            firmware.rawSmbios = table;
            machine.story.push_back("SMBIOS: truncated to " + std::to_string(table.size()) + " bytes");
            break;
        }
        case 3: {  // a real-looking table whose lengths lie
            auto table = plausibleSmbios(dice);
            for (size_t flips = 1 + dice.below(8); flips > 0 && !table.empty(); --flips)
                table[dice.below(table.size())] = static_cast<uint8_t>(dice.next());
            firmware.rawSmbios = table;
            machine.story.push_back("SMBIOS: " + std::to_string(table.size()) + " bytes with corrupted bytes");
            break;
        }
        default: {  // a plausible table padded to a boundary size
            auto table = plausibleSmbios(dice);
            table.resize(std::max(table.size(), hostileSize(dice)), 0);
            firmware.rawSmbios = table;
            machine.story.push_back("SMBIOS: plausible, " + std::to_string(table.size()) + " bytes");
            break;
        }
    }
}

void hostileAcpi(Dice& dice, HostileMachine& machine) {
    auto& firmware = machine.profile.firmware;
    firmware.acpiTables.clear();
    const size_t count = dice.pick<size_t>({0, 1, 3, 8, 20, 1023, 1024, 1025, 1100});
    for (size_t i = 0; i < count; ++i) {
        FirmwareTable table;
        table.id = dice.chance(70) ? acpiTableId(dice.pick<std::string_view>({"DSDT", "FACP", "SSDT", "APIC", "HPET", "WAET"}))
                                   : static_cast<uint32_t>(dice.next());
        // Large tables only among few, to keep a case quick.
        table.data = count > 3 ? dice.bytes(dice.below(300)) : dice.bytes(hostileSize(dice));
        if (dice.chance(20) && table.data.size() >= 16) {
            const std::string oem = dice.pick<std::string>({"VBOX  ", "VMWARE", "BOCHS ", "BXPC  ", "DELL  "});
            std::copy(oem.begin(), oem.end(), table.data.begin() + 10);
        }
        firmware.acpiTables.push_back(std::move(table));
    }
    firmware.acpiEnumerationResult.reset();
    if (dice.chance(40)) {
        firmware.acpiEnumerationResult =
            dice.pick<uint32_t>({0, 1, 2, 3, 4, 5, 4092, 4095, 4096, 4097, 8192, 65536, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFE,
                                 0xFFFFFFFF, static_cast<uint32_t>(dice.next())});
    }
    firmware.functionsPresent = !dice.chance(5);
    machine.story.push_back("ACPI: " + std::to_string(count) + " tables, enumeration result " +
                            (firmware.acpiEnumerationResult ? std::to_string(*firmware.acpiEnumerationResult)
                                                            : std::string("as listed")) +
                            (firmware.functionsPresent ? "" : ", firmware functions missing"));
}

// ------------------------------------------------------------------ registry

const wchar_t* const kKeysRead[] = {
    L"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0",
    L"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 1\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0",
    L"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 2\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0",
    L"HARDWARE\\Description\\System",
    L"SYSTEM\\ControlSet001\\Control\\SystemInformation",
    L"HARDWARE\\ACPI\\DSDT\\VBOX__",
    L"SOFTWARE\\Oracle\\VirtualBox Guest Additions",
    L"SYSTEM\\ControlSet001\\Services\\VBoxGuest",
    L"SOFTWARE\\VMware, Inc.\\VMware Tools",
    L"SOFTWARE\\Microsoft\\Virtual Machine\\Guest\\Parameters",
};
const wchar_t* const kValueNames[] = {L"Identifier",         L"SystemBiosVersion", L"VideoBiosVersion",
                                      L"SystemBiosDate",     L"SystemManufacturer", L"SystemProductName", L""};

std::vector<uint8_t> hostileValueData(Dice& dice) {
    const size_t size = hostileSize(dice) % 70000;
    switch (dice.below(4)) {
        case 0: return dice.bytes(size);
        case 1: {  // UTF-16 text without a terminating NUL
            std::wstring text = hostileText(dice);
            std::vector<uint8_t> out(reinterpret_cast<const uint8_t*>(text.data()),
                                     reinterpret_cast<const uint8_t*>(text.data() + text.size()));
            return out;
        }
        case 2: {  // a multi-string whose first string is empty, or holds a needle late
            std::vector<std::wstring> strings;
            for (size_t i = dice.below(6); i > 0; --i) strings.push_back(hostileText(dice));
            return registryMultiStringBytes(strings);
        }
        default: {  // text padded to the size, an odd size included
            std::vector<uint8_t> out = registryStringBytes(dice.pick(interestingTexts()));
            out.resize(std::max(out.size(), size), static_cast<uint8_t>(dice.chance(50) ? 0 : 'A'));
            return out;
        }
    }
}

void hostileRegistry(Dice& dice, HostileMachine& machine) {
    const bool userHive = dice.chance(10);
    const std::wstring path = userHive ? L"SOFTWARE\\Wine" : kKeysRead[dice.below(std::size(kKeysRead))];
    auto& key = addRegistryKey(machine.profile, userHive ? L"HKCU" : L"HKLM", path);
    key.accessDenied = dice.chance(10);
    const size_t values = 1 + dice.below(4);
    for (size_t i = 0; i < values; ++i) {
        const std::wstring name = dice.chance(90) ? kValueNames[dice.below(std::size(kValueNames))] : hostileText(dice);
        const uint32_t type = dice.chance(85) ? static_cast<uint32_t>(dice.below(12)) : static_cast<uint32_t>(dice.next());
        addRawValue(key, name, type, hostileValueData(dice));
    }
    machine.story.push_back("registry: " + std::to_string(values) + " hostile values under " +
                            profile::toUtf8(path) + (key.accessDenied ? " (access denied)" : ""));
}

// ----------------------------------------------------------------------- WMI

struct ClassRead {
    const wchar_t* name;
    std::vector<const wchar_t*> properties;
};
const std::vector<ClassRead>& classesRead() {
    static const std::vector<ClassRead> classes = {
        {L"Win32_BIOS", {L"SerialNumber"}},
        {L"Win32_ComputerSystem", {L"Model", L"Manufacturer"}},
        {L"Win32_Processor", {L"ProcessorId"}},
        {L"Win32_VideoController", {L"Caption"}},
        {L"Win32_CacheMemory", {L"Name"}},
        {L"Win32_PhysicalMemory", {L"Capacity"}},
        {L"Win32_SMBIOSMemory", {L"Name"}},
        {L"CIM_Memory", {L"Name"}},
        {L"CIM_PhysicalConnector", {L"Tag"}},
        {L"CIM_Slot", {L"Tag"}},
        {L"Win32_NetworkAdapterConfiguration", {L"MACAddress"}},
        {L"Win32_NTEventlogFile", {L"LogfileName", L"Sources"}},
        {L"Win32_PnPEntity", {L"Name", L"DeviceID"}},
        {L"Win32_Bus", {L"Name"}},
        {L"Win32_BaseBoard", {L"Product", L"Manufacturer"}},
        {L"Win32_PnPDevice", {L"Name", L"Caption", L"PNPDeviceID"}},
    };
    return classes;
}

// Every VARIANT type a WMI provider may hand out, and some none should.
WmiValue hostileWmiValue(Dice& dice) {
    WmiValue value;
    value.vt = dice.pick<uint16_t>({VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R4, VT_R8, VT_CY, VT_DATE, VT_BSTR, VT_DISPATCH,
                                    VT_ERROR, VT_BOOL, VT_UNKNOWN, VT_I1, VT_UI1, VT_UI2, VT_UI4, VT_I8, VT_UI8, VT_INT,
                                    VT_UINT, VT_BSTR, VT_BSTR, VT_ARRAY | VT_BSTR});
    switch (value.vt) {
        case VT_BSTR: value.text = hostileText(dice); break;
        case VT_ARRAY | VT_BSTR:
            for (size_t i = dice.pick<size_t>({0, 1, 3, 40}); i > 0; --i) value.strings.push_back(hostileText(dice));
            break;
        case VT_DISPATCH:
        case VT_UNKNOWN: value.integer = 0; break;  // a null interface: a dangling one is no machine's doing
        default: value.integer = dice.chance(30) ? 0 : static_cast<int64_t>(dice.next()); break;
    }
    return value;
}

void hostileWmiClass(Dice& dice, HostileMachine& machine) {
    const ClassRead& read = classesRead()[dice.below(classesRead().size())];
    removeWmiClass(machine.profile, read.name);
    auto& wmiClass = addWmiClass(machine.profile, read.name);
    wmiClass.known = !dice.chance(5);
    const size_t rows = dice.chance(2) ? 300 : dice.pick<size_t>({0, 1, 1, 2, 3, 4, 6});
    for (size_t r = 0; r < rows; ++r) {
        WmiRow row;
        for (const wchar_t* property : read.properties) {
            if (dice.chance(85)) row.properties.emplace_back(property, hostileWmiValue(dice));
        }
        wmiClass.rows.push_back(std::move(row));
    }
    auto& faults = machine.profile.wmi.faults;
    std::string fault;
    const int32_t failure = dice.pick<int32_t>({static_cast<int32_t>(0x80041010), static_cast<int32_t>(0x80041001),
                                                static_cast<int32_t>(0x8007000E), static_cast<int32_t>(0x80010108),
                                                static_cast<int32_t>(0x80041017)});
    if (dice.chance(8)) {
        faults.execQueryByClass[read.name] = failure;
        fault = ", its query fails";
    } else if (dice.chance(8)) {
        faults.nextByClass[read.name] = failure;
        fault = ", its rows end in a failure";
    }
    machine.story.push_back("WMI: " + std::to_string(rows) + " hostile rows of " + profile::toUtf8(read.name) +
                            (wmiClass.known ? "" : " (unknown class)") + fault);
}

void hostileWmiStartUp(Dice& dice, HostileMachine& machine) {
    auto& faults = machine.profile.wmi.faults;
    switch (dice.below(6)) {
        case 0: faults.coInitializeEx = dice.pick<int32_t>({static_cast<int32_t>(0x80010106), static_cast<int32_t>(0x8007000E)}); break;
        case 1: faults.coInitializeSecurity = dice.pick<int32_t>({static_cast<int32_t>(0x80010119), static_cast<int32_t>(0x80070005)}); break;
        case 2: faults.createLocator = static_cast<int32_t>(0x80070005); break;
        case 3: faults.connectServer = static_cast<int32_t>(0x8004100E); break;
        case 4: faults.setProxyBlanket = static_cast<int32_t>(0x80070005); break;
        default: faults.execQuery = static_cast<int32_t>(0x80041001); break;
    }
    machine.story.push_back("WMI: a failing start-up step or query");
}

// --------------------------------------------------------- the rest of Windows

void hostileAdapters(Dice& dice, HostileMachine& machine) {
    auto& adapters = machine.profile.adapters;
    adapters.clear();
    const size_t count = dice.pick<size_t>({0, 1, 2, 5, 20, 100});
    for (size_t i = 0; i < count; ++i) {
        NetworkAdapter adapter;
        adapter.description = narrowHostileText(dice);
        adapter.addressLength = static_cast<uint32_t>(dice.below(9));
        adapter.address = dice.bytes(8);
        if (dice.chance(30)) {
            const auto prefix = dice.pick<std::vector<uint8_t>>(
                {{0x08, 0x00, 0x27}, {0x00, 0x0C, 0x29}, {0x00, 0x50, 0x56}, {0x00, 0x1C, 0x42}, {0x00, 0x16, 0x3E}});
            std::copy(prefix.begin(), prefix.end(), adapter.address.begin());
        }
        adapter.adapterName = narrowHostileText(dice);
        adapters.push_back(std::move(adapter));
    }
    if (dice.chance(15)) machine.profile.system.adaptersInfoError = dice.pick<uint32_t>({232, 50, 87, 111, 1});
    machine.story.push_back("adapters: " + std::to_string(count) +
                            (machine.profile.system.adaptersInfoError ? ", listing fails" : ""));
}

void hostileProcesses(Dice& dice, HostileMachine& machine) {
    auto& processes = machine.profile.processes;
    processes.clear();
    const size_t count = dice.chance(1) ? 2000 : dice.pick<size_t>({0, 1, 10, 300});
    for (size_t i = 0; i < count; ++i) processes.push_back({static_cast<uint32_t>(dice.next()), hostileText(dice)});
    machine.profile.system.toolhelpFails = dice.chance(5);
    machine.story.push_back("processes: " + std::to_string(count) +
                            (machine.profile.system.toolhelpFails ? ", snapshots fail" : ""));
}

void hostileDiskDrives(Dice& dice, HostileMachine& machine) {
    auto& drives = machine.profile.diskDrives;
    drives.clear();
    const size_t count = dice.below(9);
    for (size_t i = 0; i < count; ++i) {
        DiskDrive drive;
        for (size_t ids = dice.below(4); ids > 0; --ids) drive.hardwareIds.push_back(hostileText(dice));
        drives.push_back(std::move(drive));
    }
    if (dice.chance(15)) machine.profile.system.setupDiError = dice.pick<uint32_t>({0, 5, 13, 259, 1168});
    machine.story.push_back("disk drives: " + std::to_string(count));
}

void hostileFileSystem(Dice& dice, HostileMachine& machine) {
    static const wchar_t* const kPaths[] = {
        L"C:\\Windows\\System32\\drivers\\VBoxMouse.sys", L"C:\\Windows\\System32\\VBoxControl.exe",
        L"C:\\Windows\\System32\\drivers\\vmmouse.sys",   L"C:\\Windows\\System32\\drivers\\vmnetadapter.sys",
        L"C:\\Program Files\\oracle\\virtualbox guest additions", L"C:\\Program Files\\VMWare",
        L"C:\\Windows\\System32\\drivers",                 L"C:\\Windows",
    };
    const size_t count = 1 + dice.below(6);
    for (size_t i = 0; i < count; ++i) {
        const std::wstring path = kPaths[dice.below(std::size(kPaths))];
        switch (dice.below(3)) {
            case 0: addFile(machine.profile, path); break;
            case 1: addDirectory(machine.profile, path); break;
            default: addPathError(machine.profile, path, dice.pick<uint32_t>({2, 3, 5, 21, 32, 53, 123, 1920})); break;
        }
    }
    for (size_t i = dice.below(4); i > 0; --i) {
        addDevice(machine.profile,
                  dice.pick<std::wstring>({L"\\\\.\\VBoxGuest", L"\\\\.\\pipe\\VBoxTrayIPC", L"\\\\.\\HGFS", L"\\\\.\\vmci",
                                           L"\\\\.\\VBoxMiniRdrDN"}),
                  dice.pick<uint32_t>({0, 2, 5, 231, 32}));
    }
    for (size_t i = dice.below(3); i > 0; --i)
        addWindow(machine.profile, dice.chance(50) ? L"VBoxTrayToolWndClass" : hostileText(dice), hostileText(dice));
    for (size_t i = dice.below(3); i > 0; --i)
        addNetworkProvider(machine.profile, dice.chance(60) ? 0x00250000 : static_cast<uint32_t>(dice.next()),
                           hostileText(dice));
    machine.story.push_back("files, devices, windows and providers: " + std::to_string(count) + " paths and more");
}

void hostileSystem(Dice& dice, HostileMachine& machine) {
    auto& system = machine.profile.system;
    auto folder = [&]() -> std::wstring {
        return dice.pick<std::wstring>({L"C:\\Windows", L"", L"C:", L"C:\\", L"\\\\?\\C:\\Windows",
                                        L"C:\\" + std::wstring(255, L'w'), L"C:\\" + std::wstring(300, L'w'),
                                        L"%ProgramW6432%", L"C:\\Program Files"});
    };
    system.windowsDirectory = folder();
    system.programFiles = folder();
    system.programW6432 = folder();
    system.wow64 = dice.chance(30);
    system.isWow64ProcessPresent = !dice.chance(10);
    system.isWow64ProcessFails = dice.chance(10);
    if (dice.chance(20)) {
        system.totalPhysicalMemory.reset();
    } else {
        system.totalPhysicalMemory =
            dice.pick<uint64_t>({0, 1, 0x3FFFFFFF, 0x40000000, 0x40000001, ~0ull, 17179869184ull});
    }
    system.power = {!dice.chance(20), dice.chance(50), dice.chance(50), dice.chance(50), dice.chance(50), dice.chance(50)};
    machine.story.push_back("system: Windows directory of " + std::to_string(system.windowsDirectory.size()) +
                            " characters" + (system.wow64 ? ", WoW64" : "") +
                            (system.totalPhysicalMemory ? "" : ", memory status fails"));
}

void hostileFaults(Dice& dice, HostileMachine& machine) {
    auto& faults = machine.faults;
    if (dice.chance(40)) faults.failHeapAllocAt = static_cast<int>(dice.below(6));
    if (dice.chance(40)) faults.failLocalAllocAt = static_cast<int>(dice.below(4));
    faults.failGetAdaptersInfo = dice.chance(20);
    faults.firmwareSecondCallFails = dice.chance(30);
    machine.story.push_back("faults: heap allocation " +
                            (faults.failHeapAllocAt ? std::to_string(*faults.failHeapAllocAt) : std::string("-")) +
                            ", local allocation " +
                            (faults.failLocalAllocAt ? std::to_string(*faults.failLocalAllocAt) : std::string("-")) +
                            (faults.failGetAdaptersInfo ? ", adapters fail" : "") +
                            (faults.firmwareSecondCallFails ? ", firmware second call fails" : ""));
}

using Mutation = void (*)(Dice&, HostileMachine&);
constexpr Mutation kMutations[] = {
    hostileSmbios, hostileAcpi,      hostileRegistry,   hostileRegistry,   hostileWmiClass, hostileWmiClass,
    hostileWmiClass, hostileWmiStartUp, hostileAdapters, hostileProcesses, hostileDiskDrives, hostileFileSystem,
    hostileSystem,  hostileFaults,
};

}  // namespace

HostileMachine makeHostileMachine(uint64_t seed, const std::vector<MachineProfile>& corpus) {
    Dice dice(seed);
    HostileMachine machine;
    machine.seed = seed;
    // Recorded machines carry real firmware tables, slow to search: fewer of them.
    const size_t base = dice.below(20);
    if (base < 9 || corpus.empty()) {
        machine.profile = physicalMachineWithoutSigns();
        machine.story.push_back("base: the physical machine without signs");
    } else if (base < 12) {
        machine.profile = dice.pick(corpus);
        machine.story.push_back("base: " + machine.profile.description);
    } else {
        machine.story.push_back("base: an empty machine");
    }
    for (size_t changes = 1 + dice.below(12); changes > 0; --changes) kMutations[dice.below(std::size(kMutations))](dice, machine);
    return machine;
}

}  // namespace Corvane::testing
