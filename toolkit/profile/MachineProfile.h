#pragma once
// A machine profile: every fact of a Windows machine that a detector reads.
// It describes simulated machines in tests, the corpus of real machines, and
// what `corvane-vmd capture` records.  Its JSON form is documented in
// docs/machine-profile.md; this is the in-memory form.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace Corvane::profile {

inline constexpr int kProfileVersion = 1;

struct RegistryValue {
    std::wstring name;          // "" is the key's default value
    uint32_t type = 1;          // REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3, REG_DWORD = 4, REG_MULTI_SZ = 7, ...
    std::vector<uint8_t> data;  // raw bytes as RegQueryValueExW returns them (UTF-16LE for strings, NULs included)
};

struct RegistryKey {
    std::wstring root;          // "HKLM" or "HKCU"
    std::wstring path;          // without root, single backslashes, e.g. SOFTWARE\Wine
    bool accessDenied = false;  // the key exists but RegOpenKeyExW fails with ERROR_ACCESS_DENIED
    std::vector<RegistryValue> values;
};

enum class PathKind { File, Directory, Error, Link };

struct FileSystemEntry {
    std::wstring path;  // full path, e.g. C:\Windows\System32\drivers\VBoxMouse.sys
    PathKind kind = PathKind::File;
    uint32_t error = 0;   // for PathKind::Error: the last error of the status query
    std::wstring target;  // for PathKind::Link: the full path a symbolic link points to (it may be missing)
};

struct DeviceName {
    std::wstring name;       // e.g. \\.\VBoxGuest or \\.\pipe\VBoxTrayIPC
    uint32_t openError = 0;  // 0: opens; otherwise CreateFileW fails with this error (e.g. ERROR_PIPE_BUSY 231)
};

struct Process {
    uint32_t pid = 0;
    std::wstring exeName;
};

struct NetworkAdapter {
    std::string description;     // narrow, ANSI code page
    uint32_t addressLength = 6;  // 0 to 8
    std::vector<uint8_t> address;
    std::string adapterName;  // optional GUID-like name
};

struct FirmwareTable {
    uint32_t id = 0;  // ACPI table identifier as EnumSystemFirmwareTables lists it (e.g. 'TDSD' for DSDT)
    std::vector<uint8_t> data;
};

struct Firmware {
    bool functionsPresent = true;                   // kernel32 exports the firmware table functions
    std::optional<std::vector<uint8_t>> rawSmbios;  // 'RSMB' table 0; empty optional: the call fails
    std::vector<FirmwareTable> acpiTables;          // in enumeration order
    std::optional<uint32_t> acpiEnumerationResult;  // overrides what EnumSystemFirmwareTables returns (e.g. 0, 2, 8192)
};

struct DiskDrive {
    std::vector<std::wstring> hardwareIds;  // SPDRP_HARDWAREID, a multi-string
};

struct Window {
    std::wstring className;
    std::wstring title;
};

struct NetworkProvider {
    uint32_t netType = 0;  // e.g. WNNC_NET_RDR2SAMPLE 0x00250000
    std::wstring name;
};

struct PowerCapabilities {
    bool callSucceeds = true;
    bool systemS1 = true, systemS2 = false, systemS3 = true, systemS4 = true, thermalControl = false;
};

// A WMI property value: the VARIANT type and its payload.
struct WmiValue {
    uint16_t vt = 1;                    // VT_NULL when nothing else is set
    std::wstring text;                  // VT_BSTR
    int64_t integer = 0;                // VT_I1..VT_UI8, VT_BOOL (0 / -1)
    std::vector<std::wstring> strings;  // VT_ARRAY | VT_BSTR
};

struct WmiRow {
    std::vector<std::pair<std::wstring, WmiValue>> properties;  // in the order the class lists them
};

struct WmiClass {
    std::wstring name;
    bool known = true;  // false: ExecQuery fails with WBEM_E_INVALID_CLASS
    std::vector<WmiRow> rows;
};

// Faults that real machines show now and then; tests use them to reach failure paths.
struct WmiFaults {
    int32_t coInitializeEx = 0;        // HRESULT returned by the first CoInitializeEx (e.g. RPC_E_CHANGED_MODE)
    int32_t coInitializeSecurity = 0;  // e.g. RPC_E_TOO_LATE
    int32_t createLocator = 0;         // CoCreateInstance(CLSID_WbemLocator)
    int32_t connectServer = 0;
    int32_t setProxyBlanket = 0;
    int32_t execQuery = 0;                             // every ExecQuery
    std::map<std::wstring, int32_t> execQueryByClass;  // ExecQuery of one class
    std::map<std::wstring, int32_t> nextByClass;       // IEnumWbemClassObject::Next of one class fails after its rows
};

struct Wmi {
    std::vector<WmiClass> classes;
    WmiFaults faults;
};

struct SystemFacts {
    std::wstring windowsDirectory = L"C:\\Windows";
    std::wstring programFiles = L"C:\\Program Files";  // CSIDL_PROGRAM_FILES
    std::wstring programW6432 = L"C:\\Program Files";  // %ProgramW6432%
    bool wow64 = false;                                // the process is 32-bit on 64-bit Windows
    bool isWow64ProcessPresent = true;                 // kernel32 exports IsWow64Process
    bool isWow64ProcessFails = false;
    std::optional<uint64_t> totalPhysicalMemory = 17179869184ull;  // empty: GlobalMemoryStatusEx fails
    PowerCapabilities power;
    std::vector<std::string> kernel32Exports;  // extra exports of kernel32, e.g. wine_get_unix_file_name
    std::optional<uint32_t>
        adaptersInfoError;                 // GetAdaptersInfo returns this instead of listing (e.g. ERROR_NO_DATA 232)
    std::optional<uint32_t> setupDiError;  // last error left after the disk drive walk (instead of ERROR_NO_MORE_ITEMS)
    bool toolhelpFails = false;
};

struct Expectation {
    int32_t type = 1;       // VMType code DetectVM gives
    std::string name;       // GetVMName
    std::string decidedBy;  // "Detector.check" of the deciding check, "" for None
    std::string why;        // why the verdict is what the rules give
};

struct MachineProfile {
    int version = kProfileVersion;
    std::string description;
    std::string source;  // where the facts come from
    std::optional<Expectation> expected;

    SystemFacts system;
    std::vector<RegistryKey> registry;
    std::vector<FileSystemEntry> files;
    std::vector<DeviceName> devices;
    std::vector<Process> processes;
    std::vector<NetworkAdapter> adapters;
    Firmware firmware;
    std::vector<DiskDrive> diskDrives;
    std::vector<Window> windows;
    std::vector<NetworkProvider> networkProviders;
    Wmi wmi;
};

}  // namespace Corvane::profile
