#include "toolkit/profile/ProfileBuilder.h"

#include <algorithm>

#include "toolkit/profile/ProfileJson.h"
#include "toolkit/profile/ProfileText.h"

namespace Corvane::profile {
namespace {

constexpr uint32_t kRegDword = 4, kRegMultiSz = 7;
constexpr uint16_t kVtNull = 1, kVtI4 = 3, kVtBstr = 8, kVtBool = 11, kVtArrayOfBstr = 0x2008;

RegistryValue& putValue(RegistryKey& key, const std::wstring& name, uint32_t type, std::vector<uint8_t> data) {
    for (auto& value : key.values) {
        if (equalsIgnoreCase(value.name, name)) {
            value.type = type;
            value.data = std::move(data);
            return value;
        }
    }
    key.values.push_back({name, type, std::move(data)});
    return key.values.back();
}

void appendText(std::vector<uint8_t>& out, std::string_view text, size_t width) {
    for (size_t i = 0; i < width; ++i) out.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : ' ');
}

void appendLittleEndian(std::vector<uint8_t>& out, uint64_t value, size_t size) {
    for (size_t i = 0; i < size; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::vector<uint8_t> bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

}  // namespace

RegistryKey* findRegistryKey(MachineProfile& profile, const std::wstring& root, const std::wstring& path) {
    for (auto& key : profile.registry)
        if (equalsIgnoreCase(key.root, root) && equalsIgnoreCase(key.path, path)) return &key;
    return nullptr;
}

RegistryKey& addRegistryKey(MachineProfile& profile, const std::wstring& root, const std::wstring& path) {
    if (!equalsIgnoreCase(root, L"HKLM") && !equalsIgnoreCase(root, L"HKCU"))
        throw ProfileError("profile: registry root must be HKLM or HKCU");
    if (auto* key = findRegistryKey(profile, root, path)) return *key;
    RegistryKey key;
    key.root = equalsIgnoreCase(root, L"HKLM") ? L"HKLM" : L"HKCU";
    key.path = path;
    profile.registry.push_back(std::move(key));
    return profile.registry.back();
}

std::vector<uint8_t> registryStringBytes(const std::wstring& text) {
    std::vector<uint8_t> out;
    for (wchar_t c : text) appendLittleEndian(out, static_cast<uint16_t>(c), 2);
    appendLittleEndian(out, 0, 2);
    return out;
}

std::vector<uint8_t> registryMultiStringBytes(const std::vector<std::wstring>& strings) {
    std::vector<uint8_t> out;
    for (const auto& s : strings) {
        auto one = registryStringBytes(s);
        out.insert(out.end(), one.begin(), one.end());
    }
    appendLittleEndian(out, 0, 2);
    return out;
}

RegistryValue& addStringValue(RegistryKey& key, const std::wstring& name, const std::wstring& text, uint32_t type) {
    return putValue(key, name, type, registryStringBytes(text));
}

RegistryValue& addMultiStringValue(RegistryKey& key, const std::wstring& name,
                                   const std::vector<std::wstring>& strings) {
    return putValue(key, name, kRegMultiSz, registryMultiStringBytes(strings));
}

RegistryValue& addDwordValue(RegistryKey& key, const std::wstring& name, uint32_t value) {
    std::vector<uint8_t> data;
    appendLittleEndian(data, value, 4);
    return putValue(key, name, kRegDword, std::move(data));
}

RegistryValue& addRawValue(RegistryKey& key, const std::wstring& name, uint32_t type, std::vector<uint8_t> bytes) {
    return putValue(key, name, type, std::move(bytes));
}

FileSystemEntry& addFile(MachineProfile& profile, const std::wstring& path) {
    profile.files.push_back({path, PathKind::File, 0, {}});
    return profile.files.back();
}

FileSystemEntry& addDirectory(MachineProfile& profile, const std::wstring& path) {
    profile.files.push_back({path, PathKind::Directory, 0, {}});
    return profile.files.back();
}

FileSystemEntry& addPathError(MachineProfile& profile, const std::wstring& path, uint32_t error) {
    profile.files.push_back({path, PathKind::Error, error, {}});
    return profile.files.back();
}

FileSystemEntry& addLink(MachineProfile& profile, const std::wstring& path, const std::wstring& target) {
    profile.files.push_back({path, PathKind::Link, 0, target});
    return profile.files.back();
}

DeviceName& addDevice(MachineProfile& profile, const std::wstring& name, uint32_t openError) {
    profile.devices.push_back({name, openError});
    return profile.devices.back();
}

Process& addProcess(MachineProfile& profile, const std::wstring& exeName) {
    uint32_t highest = 996;
    for (const auto& p : profile.processes) highest = std::max(highest, p.pid);
    profile.processes.push_back({highest + 4, exeName});
    return profile.processes.back();
}

void removeProcess(MachineProfile& profile, const std::wstring& exeName) {
    std::erase_if(profile.processes, [&](const Process& p) { return p.exeName == exeName; });
}

NetworkAdapter& addAdapter(MachineProfile& profile, std::string_view macAddress, const std::string& description) {
    NetworkAdapter adapter;
    adapter.address = parseMacAddress(macAddress);
    adapter.addressLength = static_cast<uint32_t>(adapter.address.size());
    adapter.description = description;
    char name[64];
    std::snprintf(name, sizeof name, "{5B3E4C1A-7F2D-4E8B-9A6C-1D2E3F4A5B%02zX}", profile.adapters.size());
    adapter.adapterName = name;
    profile.adapters.push_back(std::move(adapter));
    return profile.adapters.back();
}

Window& addWindow(MachineProfile& profile, const std::wstring& className, const std::wstring& title) {
    profile.windows.push_back({className, title});
    return profile.windows.back();
}

NetworkProvider& addNetworkProvider(MachineProfile& profile, uint32_t netType, const std::wstring& name) {
    profile.networkProviders.push_back({netType, name});
    return profile.networkProviders.back();
}

DiskDrive& addDiskDrive(MachineProfile& profile, std::vector<std::wstring> hardwareIds) {
    profile.diskDrives.push_back({std::move(hardwareIds)});
    return profile.diskDrives.back();
}

FirmwareTable& addAcpiTable(MachineProfile& profile, std::string_view signature, std::vector<uint8_t> bytes) {
    if (signature.size() != 4) throw ProfileError("profile: an ACPI signature has four characters");
    profile.firmware.acpiTables.push_back({acpiTableId(signature), std::move(bytes)});
    return profile.firmware.acpiTables.back();
}

void setSmbios(MachineProfile& profile, std::vector<uint8_t> rawSmbios) {
    profile.firmware.rawSmbios = std::move(rawSmbios);
}

std::vector<uint8_t> acpiTableBytes(std::string_view signature, std::string_view oemId, std::string_view oemTableId,
                                    const std::vector<uint8_t>& body) {
    std::vector<uint8_t> table;
    appendText(table, signature, 4);
    appendLittleEndian(table, 36 + body.size(), 4);
    table.push_back(2);  // revision
    table.push_back(0);  // checksum, set below
    appendText(table, oemId, 6);
    appendText(table, oemTableId, 8);
    appendLittleEndian(table, 1, 4);
    appendText(table, "INTL", 4);
    appendLittleEndian(table, 0x20160527, 4);
    table.insert(table.end(), body.begin(), body.end());
    uint8_t sum = 0;
    for (uint8_t b : table) sum = static_cast<uint8_t>(sum + b);
    table[9] = static_cast<uint8_t>(0x100 - sum);  // the bytes of a valid table add up to 0
    return table;
}

std::vector<uint8_t> smbiosStructure(uint8_t type, uint16_t handle, const std::vector<uint8_t>& formatted,
                                     const std::vector<std::string>& strings) {
    std::vector<uint8_t> out{type, static_cast<uint8_t>(4 + formatted.size())};
    appendLittleEndian(out, handle, 2);
    for (uint8_t b : formatted) out.push_back(b);
    for (const auto& s : strings) {
        out.insert(out.end(), s.begin(), s.end());
        out.push_back(0);
    }
    if (strings.empty()) out.push_back(0);
    out.push_back(0);
    return out;
}

std::vector<uint8_t> rawSmbiosData(const std::vector<std::vector<uint8_t>>& structures, uint8_t major, uint8_t minor) {
    std::vector<uint8_t> tables;
    for (const auto& s : structures) tables.insert(tables.end(), s.begin(), s.end());
    auto end = smbiosStructure(127, 0xFEFF, {}, {});
    tables.insert(tables.end(), end.begin(), end.end());
    std::vector<uint8_t> out{0, major, minor, 0};
    appendLittleEndian(out, tables.size(), 4);
    out.insert(out.end(), tables.begin(), tables.end());
    return out;
}

WmiValue wmiText(const std::wstring& text) {
    WmiValue v;
    v.vt = kVtBstr;
    v.text = text;
    return v;
}

WmiValue wmiInt(int32_t value) {
    WmiValue v;
    v.vt = kVtI4;
    v.integer = value;
    return v;
}

WmiValue wmiBool(bool value) {
    WmiValue v;
    v.vt = kVtBool;
    v.integer = value ? -1 : 0;
    return v;
}

WmiValue wmiNull() {
    WmiValue v;
    v.vt = kVtNull;
    return v;
}

WmiValue wmiStrings(const std::vector<std::wstring>& strings) {
    WmiValue v;
    v.vt = kVtArrayOfBstr;
    v.strings = strings;
    return v;
}

WmiClass* findWmiClass(MachineProfile& profile, const std::wstring& className) {
    for (auto& c : profile.wmi.classes)
        if (equalsIgnoreCase(c.name, className)) return &c;
    return nullptr;
}

WmiClass& addWmiClass(MachineProfile& profile, const std::wstring& className) {
    if (auto* c = findWmiClass(profile, className)) return *c;
    profile.wmi.classes.push_back({className, true, {}});
    return profile.wmi.classes.back();
}

void removeWmiClass(MachineProfile& profile, const std::wstring& className) {
    std::erase_if(profile.wmi.classes, [&](const WmiClass& c) { return equalsIgnoreCase(c.name, className); });
}

WmiRow& addWmiRow(MachineProfile& profile, const std::wstring& className, WmiProperties properties) {
    auto& c = addWmiClass(profile, className);
    c.rows.push_back({std::move(properties)});
    return c.rows.back();
}

void setWmiValue(MachineProfile& profile, const std::wstring& className, const std::wstring& property, WmiValue value,
                 size_t row) {
    auto& c = addWmiClass(profile, className);
    while (c.rows.size() <= row) c.rows.emplace_back();
    auto& properties = c.rows[row].properties;
    for (auto& [name, existing] : properties) {
        if (equalsIgnoreCase(name, property)) {
            existing = std::move(value);
            return;
        }
    }
    properties.emplace_back(property, std::move(value));
}

MachineProfile physicalMachineWithoutSigns() {
    MachineProfile p;
    p.description = "Dell OptiPlex 7070 desktop, Windows 10 Pro, no virtualisation";
    p.source = "synthetic: a plausible physical machine on which no detector finds a sign";
    p.expected = Expectation{1, "", "", "a physical machine shows no sign of a virtual machine"};

    auto& system = p.system;
    system.totalPhysicalMemory = 17179869184ull;
    system.power = {true, true, false, true, true, true};

    // Registry: the keys the detectors read exist with ordinary physical values.
    auto& description = addRegistryKey(p, L"HKLM", L"HARDWARE\\Description\\System");
    addMultiStringValue(description, L"SystemBiosVersion", {L"DELL   - 1072009", L"1.18.0"});
    addStringValue(description, L"SystemBiosDate", L"07/14/2022");
    addStringValue(description, L"Identifier", L"AT/AT COMPATIBLE");
    auto& scsi = addRegistryKey(p, L"HKLM",
                                L"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0");
    addStringValue(scsi, L"Identifier", L"NVMe     Samsung SSD 970 2B2Q");
    addStringValue(scsi, L"Type", L"DiskPeripheral");
    auto& info = addRegistryKey(p, L"HKLM", L"SYSTEM\\ControlSet001\\Control\\SystemInformation");
    addStringValue(info, L"SystemManufacturer", L"Dell Inc.");
    addStringValue(info, L"SystemProductName", L"OptiPlex 7070");
    addStringValue(info, L"BIOSVersion", L"1.18.0");
    addRegistryKey(p, L"HKLM", L"HARDWARE\\ACPI\\DSDT\\DELL__\\CBX3____\\01072009");
    addRegistryKey(p, L"HKLM", L"HARDWARE\\ACPI\\FADT\\DELL__\\CBX3____\\01072009");
    addRegistryKey(p, L"HKLM", L"SYSTEM\\ControlSet001\\Services\\disk");
    addRegistryKey(p, L"HKLM", L"SYSTEM\\ControlSet001\\Services\\e1dexpress");
    auto& version = addRegistryKey(p, L"HKLM", L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
    addStringValue(version, L"ProductName", L"Windows 10 Pro");
    addStringValue(version, L"CurrentBuild", L"19045");
    addRegistryKey(p, L"HKCU", L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer");

    // File system.
    for (const auto* dir :
         {L"C:\\Windows", L"C:\\Windows\\System32", L"C:\\Windows\\System32\\drivers", L"C:\\Windows\\SysWOW64",
          L"C:\\Windows\\SysWOW64\\drivers", L"C:\\Program Files", L"C:\\Program Files\\Dell",
          L"C:\\Program Files\\Common Files", L"C:\\Program Files (x86)", L"C:\\Users\\Public"})
        addDirectory(p, dir);
    for (const auto* file :
         {L"C:\\Windows\\explorer.exe", L"C:\\Windows\\System32\\kernel32.dll", L"C:\\Windows\\System32\\ntdll.dll",
          L"C:\\Windows\\System32\\drivers\\disk.sys", L"C:\\Windows\\System32\\drivers\\stornvme.sys",
          L"C:\\Windows\\System32\\drivers\\e1d68x64.sys", L"C:\\Windows\\SysWOW64\\kernel32.dll"})
        addFile(p, file);
    addDevice(p, L"\\\\.\\PhysicalDrive0", 5 /*ERROR_ACCESS_DENIED: not elevated*/);
    addDevice(p, L"\\\\.\\pipe\\lsass");

    // Processes, in the order Toolhelp lists them.
    p.processes = {{0, L"[System Process]"},     {4, L"System"},          {108, L"Registry"},
                   {412, L"smss.exe"},           {560, L"csrss.exe"},     {648, L"wininit.exe"},
                   {788, L"services.exe"},       {804, L"lsass.exe"},     {936, L"svchost.exe"},
                   {1012, L"svchost.exe"},       {1304, L"svchost.exe"},  {3720, L"explorer.exe"},
                   {4416, L"RuntimeBroker.exe"}, {5128, L"SearchApp.exe"}};

    addAdapter(p, "D8:9E:F3:4A:1B:7E", "Intel(R) Ethernet Connection (7) I219-LM");

    // Firmware: a bare-metal SMBIOS table and a few ACPI tables of the same OEM.
    std::vector<uint8_t> biosArea{1,    2,    0x00, 0xF0, 3,    0xFF, 0x80, 0x98, 0x8B, 0x3F,
                                  0x01, 0x00, 0x11, 0x00, 0x03, 0x0D, 1,    18,   0xFF, 0xFF};
    std::vector<uint8_t> systemArea{1, 2, 3, 4};
    for (uint8_t b : {0x4C, 0x4C, 0x45, 0x44, 0x00, 0x48, 0x32, 0x10, 0x80, 0x4B, 0xB7, 0xC0, 0x4F, 0x39, 0x4B, 0x32})
        systemArea.push_back(b);
    systemArea.insert(systemArea.end(), {6, 5, 6});
    std::vector<uint8_t> boardArea{1, 2, 3, 4, 0, 0x09, 0, 0x00, 0x03, 0x0A, 0};
    std::vector<uint8_t> chassisArea{1, 0x03, 0, 2, 0, 0x03, 0x03, 0x03, 0x03, 0, 0, 0, 0, 0, 1, 0, 0};
    setSmbios(p, rawSmbiosData({
                     smbiosStructure(0, 0x0000, biosArea, {"Dell Inc.", "1.18.0", "07/14/2022"}),
                     smbiosStructure(1, 0x0100, systemArea,
                                     {"Dell Inc.", "OptiPlex 7070", "Not Specified", "7H2K9Q2", "0929", "OptiPlex"}),
                     smbiosStructure(2, 0x0200, boardArea, {"Dell Inc.", "0YNVJG", "A00", "/7H2K9Q2/CNFCW0099200D4/"}),
                     smbiosStructure(3, 0x0300, chassisArea, {"Dell Inc.", "7H2K9Q2"}),
                 }));
    addAcpiTable(p, "FACP", acpiTableBytes("FACP", "DELL  ", "CBX3    ", std::vector<uint8_t>(80, 0)));
    addAcpiTable(p, "APIC",
                 acpiTableBytes("APIC", "DELL  ", "CBX3    ", {0x00, 0x00, 0xE0, 0xFE, 0x01, 0x00, 0x00, 0x00}));
    addAcpiTable(p, "DSDT",
                 acpiTableBytes("DSDT", "DELL  ", "CBX3    ", bytesOf("\x10\x4F\x05\\_SB_PCI0_HID\x0CPNP0A08")));
    addAcpiTable(p, "SSDT", acpiTableBytes("SSDT", "DELL  ", "CpuSsdt ", bytesOf("\x10\x20\\_PR_CPU0")));
    addAcpiTable(p, "MCFG", acpiTableBytes("MCFG", "DELL  ", "CBX3    ", std::vector<uint8_t>(16, 0)));
    addAcpiTable(p, "HPET", acpiTableBytes("HPET", "DELL  ", "CBX3    ", std::vector<uint8_t>(20, 0)));

    addDiskDrive(p, {L"SCSI\\DiskSamsung_SSD_970_EVO_500GB_2B2QEXE7", L"SCSI\\DiskSamsung_SSD_970_EVO_500GB_",
                     L"SCSI\\DiskSamsung_", L"SCSI\\Samsung_SSD_970_EVO_500GB_2", L"Samsung_SSD_970_EVO_500GB_2",
                     L"GenDisk"});
    addWindow(p, L"Shell_TrayWnd", L"");
    addWindow(p, L"Progman", L"Program Manager");
    addNetworkProvider(p, 0x00020000 /*WNNC_NET_LANMAN*/, L"Microsoft Windows Network");
    addNetworkProvider(p, 0x002E0000 /*WNNC_NET_DAV*/, L"Web Client Network");

    // WMI.
    addWmiRow(p, L"Win32_BIOS",
              {{L"Manufacturer", wmiText(L"Dell Inc.")},
               {L"Name", wmiText(L"1.18.0")},
               {L"SerialNumber", wmiText(L"7H2K9Q2")},
               {L"SMBIOSBIOSVersion", wmiText(L"1.18.0")},
               {L"Version", wmiText(L"DELL   - 1072009")}});
    addWmiRow(p, L"Win32_ComputerSystem",
              {{L"Manufacturer", wmiText(L"Dell Inc.")},
               {L"Model", wmiText(L"OptiPlex 7070")},
               {L"Name", wmiText(L"DESKTOP-7H2K9Q2")},
               {L"TotalPhysicalMemory", wmiText(L"17041772544")},
               {L"HypervisorPresent", wmiBool(false)}});
    addWmiRow(p, L"Win32_Processor",
              {{L"Manufacturer", wmiText(L"GenuineIntel")},
               {L"Name", wmiText(L"Intel(R) Core(TM) i7-9700 CPU @ 3.00GHz")},
               {L"ProcessorId", wmiText(L"BFEBFBFF000906ED")},
               {L"NumberOfCores", wmiInt(8)}});
    addWmiRow(p, L"Win32_VideoController",
              {{L"Caption", wmiText(L"Intel(R) UHD Graphics 630")},
               {L"Name", wmiText(L"Intel(R) UHD Graphics 630")},
               {L"PNPDeviceID", wmiText(L"PCI\\VEN_8086&DEV_3E98&SUBSYS_08E01028&REV_02\\3&11583659&0&10")}});
    for (int level = 1; level <= 3; ++level)
        addWmiRow(p, L"Win32_CacheMemory",
                  {{L"DeviceID", wmiText(L"Cache Memory " + std::to_wstring(level - 1))},
                   {L"Purpose", wmiText(L"L" + std::to_wstring(level) + L" Cache")}});
    for (int bank = 0; bank < 2; ++bank)
        addWmiRow(p, L"Win32_PhysicalMemory",
                  {{L"BankLabel", wmiText(L"BANK " + std::to_wstring(bank))},
                   {L"Capacity", wmiText(L"8589934592")},
                   {L"Manufacturer", wmiText(L"SK Hynix")},
                   {L"Tag", wmiText(L"Physical Memory " + std::to_wstring(bank))}});
    addWmiRow(p, L"Win32_SMBIOSMemory", {{L"DeviceID", wmiText(L"Memory Array 0")}, {L"Purpose", wmiNull()}});
    for (const auto* id : {L"Cache Memory 0", L"Cache Memory 1", L"Cache Memory 2", L"Memory Array 0"})
        addWmiRow(p, L"CIM_Memory", {{L"DeviceID", wmiText(id)}});
    for (const auto* tag : {L"Port Connector 0", L"Port Connector 1", L"Port Connector 2"})
        addWmiRow(p, L"CIM_PhysicalConnector",
                  {{L"Tag", wmiText(tag)}, {L"ExternalReferenceDesignator", wmiText(L"USB")}});
    for (const auto* slot : {L"PCIEX16_1", L"PCIEX1_1", L"M.2_SSD"})
        addWmiRow(p, L"CIM_Slot",
                  {{L"SlotDesignation", wmiText(slot)}, {L"Tag", wmiText(std::wstring(L"System Slot ") + slot)}});
    for (const auto* bus : {L"ACPIBus_BUS_0", L"PCI_BUS_0", L"PNP_BUS_0", L"PCI_BUS_1", L"PCI_BUS_2", L"USB_BUS_0"})
        addWmiRow(p, L"Win32_Bus", {{L"DeviceID", wmiText(bus)}, {L"Name", wmiText(bus)}});
    addWmiRow(p, L"Win32_BaseBoard",
              {{L"Manufacturer", wmiText(L"Dell Inc.")},
               {L"Product", wmiText(L"0YNVJG")},
               {L"SerialNumber", wmiText(L"/7H2K9Q2/CNFCW0099200D4/")},
               {L"Version", wmiText(L"A00")}});
    addWmiRow(p, L"Win32_NetworkAdapterConfiguration",
              {{L"Description", wmiText(L"Microsoft Kernel Debug Network Adapter")}, {L"MACAddress", wmiNull()}});
    addWmiRow(p, L"Win32_NetworkAdapterConfiguration",
              {{L"Description", wmiText(L"Intel(R) Ethernet Connection (7) I219-LM")},
               {L"MACAddress", wmiText(L"D8:9E:F3:4A:1B:7E")}});
    for (const auto* name :
         {L"Intel(R) 300 Series Chipset Family LPC Controller (Q370) - A306", L"Samsung SSD 970 EVO 500GB",
          L"Intel(R) Ethernet Connection (7) I219-LM", L"PCI Express Root Complex",
          L"Intel(R) USB 3.1 eXtensible Host Controller - 1.10 (Microsoft)", L"High Definition Audio Controller"})
        addWmiRow(p, L"Win32_PnPEntity", {{L"Name", wmiText(name)}, {L"Caption", wmiText(name)}});
    addWmiRow(p, L"Win32_PnPDevice",
              {{L"SameElement",
                wmiText(L"\\\\DESKTOP-7H2K9Q2\\root\\cimv2:Win32_DiskDrive.DeviceID=\"\\\\\\\\.\\\\PHYSICALDRIVE0\"")},
               {L"SystemElement",
                wmiText(L"\\\\DESKTOP-7H2K9Q2\\root\\cimv2:Win32_PnPEntity.DeviceID=\"SCSI\\\\DISK&VEN_NVME\"")}});
    addWmiRow(p, L"Win32_DiskDrive",
              {{L"Model", wmiText(L"Samsung SSD 970 EVO 500GB")},
               {L"PNPDeviceID", wmiText(L"SCSI\\DISK&VEN_NVME&PROD_SAMSUNG_SSD_970\\5&2A4B1D3C&0&000000")}});
    addWmiRow(p, L"Win32_NTEventlogFile",
              {{L"LogfileName", wmiText(L"Application")},
               {L"Sources", wmiStrings({L"Application", L"Application Error", L"MsiInstaller"})}});
    addWmiRow(p, L"Win32_NTEventlogFile",
              {{L"LogfileName", wmiText(L"System")},
               {L"Sources",
                wmiStrings({L"System", L"Service Control Manager", L"disk", L"stornvme", L"e1dexpress", L"igfx"})}});
    return p;
}

}  // namespace Corvane::profile
