#pragma once
// What the simulated machine owes to Windows: one table of questions, each put
// through the seam (win32()) and answered in a line of text.  The unit tests
// put them to a simulated machine bound to the plain Wine profile
// (tests/fixtures/profiles/wine/plain-wine.json), the Wine tests to Wine's own
// Win32, and both expect the row's answer: a row added here holds the
// simulation to what Wine does.  Rows ask only what plain Wine answers alike
// on every host: no SMBIOS strings, adapters or running processes, which come
// from the host.

#include <gtest/gtest.h>

#include <cctype>
#include <concepts>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/SystemProbes.h"
#include "platform/WMIHelper.h"
#include "win32/Win32Api.h"

namespace Corvane::testing::contract {

using platform::win32;

inline std::string part(std::string text) { return text; }
template <std::integral Number>
std::string part(Number value) {
    return std::to_string(value);
}
// Upper case: Wine writes "C:\windows" where Windows writes "C:\Windows".
inline std::string part(const wchar_t* text) {
    std::string out;
    for (; text && *text; ++text) out += static_cast<char>(*text < 0x80 ? std::toupper(*text) : '?');
    return out;
}
inline std::string hex(long value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%lX", value);
    return text;
}

// The parts of an answer, joined by spaces.
template <typename... Parts>
std::string say(const Parts&... parts) {
    std::string answer;
    ((answer += answer.empty() ? "" : " ", answer += part(parts)), ...);
    return answer;
}

// Opens the key and reads the value into `bytes` bytes (-1: the size query, without a buffer);
// `closed`: through the key after closing it.
inline std::string registry(HKEY root, const wchar_t* path, const wchar_t* value = nullptr, int bytes = -1,
                            bool closed = false) {
    HKEY key = nullptr;
    LSTATUS status = win32().RegOpenKeyExW(root, path, 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS) return say("open", status);
    if (closed) win32().RegCloseKey(key);
    wchar_t data[64] = {};
    DWORD type = 0, size = bytes < 0 ? 0 : bytes;
    status = win32().RegQueryValueExW(key, value, nullptr, &type, bytes < 0 ? nullptr : reinterpret_cast<BYTE*>(data),
                                      &size);
    if (!closed) win32().RegCloseKey(key);
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return say(status);
    return status == ERROR_SUCCESS && bytes > 0 ? say(status, "type", type, "size", size, data)
                                                : say(status, "type", type, "size", size);
}

// What CreateFileW opens, as the file checks open it, and what its status says.
inline std::string pathStatus(const wchar_t* path, DWORD flags = FILE_FLAG_BACKUP_SEMANTICS) {
    HANDLE file = win32().CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE) return say("error", win32().GetLastError());
    BY_HANDLE_FILE_INFORMATION information{};
    const BOOL read = win32().GetFileInformationByHandle(file, &information);
    win32().CloseHandle(file);
    return !read ? "unreadable" : information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? "folder" : "file";
}

// The size query, a buffer one short, and the text.
inline std::string windowsDirectory() {
    wchar_t text[MAX_PATH] = {};
    const UINT needed = win32().GetWindowsDirectoryW(nullptr, 0);
    const UINT oneShort = win32().GetWindowsDirectoryW(text, needed - 1);
    return say(needed, oneShort, win32().GetWindowsDirectoryW(text, MAX_PATH), text);
}

inline std::string expanded(const wchar_t* source) {
    wchar_t text[MAX_PATH] = {};
    const DWORD needed = win32().ExpandEnvironmentStringsW(source, nullptr, 0);
    return say(needed, win32().ExpandEnvironmentStringsW(source, text, MAX_PATH), text);
}

// Each name that the module exports, or the last error of its lookup; the module is
// loaded as the probes load kernel32 or as the library loads iphlpapi, mpr and powrprof.
inline std::string exports(const wchar_t* module, std::vector<const char*> names) {
    const auto& api = win32();
    HMODULE handle = module ? api.LoadLibraryExW(module, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)
                            : api.LoadLibraryA("Kernel32.dll");
    if (!handle) return say("error", api.GetLastError());
    std::string answer;
    for (const char* name : names) answer += api.GetProcAddress(handle, name) ? "found " : say(api.GetLastError(), "");
    return answer + (api.FreeLibrary(handle) ? "freed" : "kept");
}

// The size protocol of a firmware table, through the function found by name: the size
// query, then a buffer one byte short and one of the size, answered as sizes relative
// to the table's; of the raw SMBIOS data, its version and whether its length fits.
inline std::string firmwareTable(DWORD provider, DWORD table) {
    HMODULE kernel32 = win32().LoadLibraryA("Kernel32.dll");
    auto get = reinterpret_cast<platform::GetSystemFirmwareTableFn>(
        win32().GetProcAddress(kernel32, "GetSystemFirmwareTable"));
    win32().SetLastError(0);
    const UINT needed = get(provider, table, nullptr, 0);
    std::string answer = say(needed ? "some" : "none", "error", win32().GetLastError());
    if (needed) {
        std::vector<BYTE> buffer(needed);
        auto relative = [&](UINT size) { return size == needed ? std::string("size") : say(size); };
        win32().SetLastError(0);
        const UINT oneShort = get(provider, table, buffer.data(), needed - 1);
        answer += say(" short", relative(oneShort), "error", win32().GetLastError());
        answer += say(" whole", relative(get(provider, table, buffer.data(), needed)));
        DWORD length = 0;
        if (provider == platform::kProviderRsmb && needed >= 8) {
            std::memcpy(&length, buffer.data() + 4, sizeof length);
            answer += say(" SMBIOS", buffer[1], buffer[2], length + 8 == needed);
        }
    }
    win32().FreeLibrary(kernel32);
    return answer;
}

// A process walk: a too-short entry, then how often the name occurs and how the walk ends.
inline std::string processWalk(const wchar_t* exeName) {
    HANDLE snapshot = win32().CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry - 1;
    win32().SetLastError(0);
    const BOOL shortEntry = win32().Process32FirstW(snapshot, &entry);
    std::string answer = say(shortEntry, "error", win32().GetLastError());
    entry.dwSize = sizeof entry;
    int found = 0;
    for (BOOL more = win32().Process32FirstW(snapshot, &entry); more; more = win32().Process32NextW(snapshot, &entry))
        found += std::wstring(entry.szExeFile) == exeName;
    answer += say(" found", found, "end", win32().GetLastError());
    win32().CloseHandle(snapshot);
    return answer;
}

inline std::string powerCapabilities() {
    SYSTEM_POWER_CAPABILITIES power{};
    const BOOLEAN answered = win32().GetPwrCapabilities(&power);
    return say(answered, power.SystemS1, power.SystemS2, power.SystemS3, power.SystemS4, power.ThermalControl);
}

inline std::string memoryStatus(DWORD length) {
    MEMORYSTATUSEX status{};
    status.dwLength = length;
    const BOOL answered = win32().GlobalMemoryStatusEx(&status);
    return say(answered, answered ? status.ullTotalPhys > status.ullAvailPhys : win32().GetLastError());
}

inline std::string diskDrives() {
    constexpr GUID kDiskDriveClass = {0x4d36e967, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
    HDEVINFO devices = win32().SetupDiGetClassDevsW(&kDiskDriveClass, nullptr, nullptr, DIGCF_PRESENT);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    const BOOL listed = win32().SetupDiEnumDeviceInfo(devices, 0, &device);
    const std::string answer = say(listed, win32().GetLastError());
    win32().SetupDiDestroyDeviceInfoList(devices);
    return answer;
}

// Each row of a WMI query: the property's text, or the HRESULT of Get.
inline std::string wmiRows(const wchar_t* className, const wchar_t* property, const wchar_t* condition = L"") {
    platform::WMIHelper wmi(L"ROOT\\CIMV2");
    std::string answer = say("query", hex(wmi.executeQuery(L"", className, condition)));
    wmi.forEachResult([&](const platform::ComPtr<IWbemClassObject>& row, ULONG returned, HRESULT& status) {
        if (returned == 0) {
            answer += say(" end", hex(status));
            return true;
        }
        VARIANT value{};
        const HRESULT got = row->Get(property, 0, &value, nullptr, nullptr);
        answer += say(" row", value.vt == VT_BSTR ? part(value.bstrVal) : hex(got));
        win32().VariantClear(&value);
        return false;
    });
    return answer;
}

struct Case {
    const char* question;
    std::string (*ask)();
    const char* answer;  // what plain Wine answers, and so the simulated machine
};

// The value plain Wine keeps under HKLM\HARDWARE\Description\System, read into `bytes` bytes.
inline std::string identifier(int bytes = -1) {
    return registry(HKEY_LOCAL_MACHINE, L"HARDWARE\\Description\\System", L"Identifier", bytes);
}

// clang-format off
inline const Case kCases[] = {
    // Registry: keys, values by size query, a buffer one short and one that fits, absent values, closed keys.
    {"an existing key", [] { return registry(HKEY_CURRENT_USER, L"Software\\Wine", L"NoSuchValue"); }, "2"},
    {"a missing key", [] { return registry(HKEY_LOCAL_MACHINE, L"HARDWARE\\ACPI"); }, "open 2"},
    {"a value's size", [] { return identifier(); }, "0 type 1 size 28"},
    {"a value one byte short", [] { return identifier(27); }, "234 type 1 size 28"},
    {"a value that fits", [] { return identifier(28); }, "0 type 1 size 28 AT COMPATIBLE"},
    {"a closed key", [] { return registry(HKEY_CURRENT_USER, L"Software\\Wine", L"", 64, true); }, "6"},
    // Files, folders and device names, opened as the file checks open them; the folders' names.
    {"the Windows folder", [] { return pathStatus(L"C:\\windows"); }, "folder"},
    {"a folder without backup semantics", [] { return pathStatus(L"C:\\windows", 0); }, "error 5"},
    {"a file", [] { return pathStatus(L"C:\\windows\\system32\\kernel32.dll"); }, "file"},
    {"a missing file", [] { return pathStatus(L"C:\\windows\\system32\\drivers\\VBoxMouse.sys"); }, "error 2"},
    {"a file in a missing folder", [] { return pathStatus(L"C:\\windows\\NoSuchFolder\\VBoxMouse.sys"); }, "error 3"},
    {"a missing device", [] { return pathStatus(L"\\\\.\\VBoxGuest"); }, "error 2"},
    {"a missing pipe", [] { return pathStatus(L"\\\\.\\pipe\\VBoxTrayIPC"); }, "error 2"},
    {"the Windows folder's name", windowsDirectory, "11 11 10 C:\\WINDOWS"},
    {"the native Program Files", [] { return expanded(L"%ProgramW6432%\\VMware"); }, "24 24 C:\\PROGRAM FILES\\VMWARE"},
    {"an unknown variable", [] { return expanded(L"%NoSuchVariable%"); }, "17 17 %NOSUCHVARIABLE%"},
    // Modules.
    {"kernel32", [] { return exports(nullptr, {"IsWow64Process", "wine_get_unix_file_name", "NoSuchExport"}); },
     "found found 127 freed"},
    {"a System32 module", [] { return exports(L"powrprof.dll", {"GetPwrCapabilities"}); }, "found freed"},
    {"a missing System32 module", [] { return exports(L"nosuchmodule.dll", {}); }, "error 126"},
    // Firmware tables: the SMBIOS size protocol; no ACPI table, and none listed.
    {"SMBIOS", [] { return firmwareTable(platform::kProviderRsmb, 0); },
     "some error 122 short size error 122 whole size SMBIOS 2 4 1"},
    {"an ACPI table", [] { return firmwareTable(platform::kProviderAcpi, 0x54445344 /* DSDT */); }, "none error 1"},
    {"the ACPI list", [] {
         std::vector<BYTE> ids(platform::kAcpiIdListBytes);
         return say(platform::enumerateFirmwareTables(ids.data()), ids[0]);
     }, "0 0"},
    // Processes, power, memory, devices, providers.
    {"the process walk", [] { return processWalk(L"vboxservice.exe"); }, "0 error 122 found 0 end 18"},
    {"the power capabilities", powerCapabilities, "1 1 0 0 1 0"},
    {"the memory status", [] { return memoryStatus(sizeof(MEMORYSTATUSEX)); }, "1 1"},
    {"the memory status, short length", [] { return memoryStatus(sizeof(MEMORYSTATUSEX) - 1); }, "0 87"},
    {"the disk drives", diskDrives, "0 259"},
    {"a network provider", [] {
         wchar_t name[64] = {};
         DWORD size = 64;
         return say(win32().WNetGetProviderNameW(0x00250000, name, &size));
     }, "1222"},
    // WMI: values, a class without rows, an unknown class, a missing property, a syntax error.
    {"the BIOS serial number", [] { return wmiRows(L"Win32_BIOS", L"SerialNumber"); }, "query 0x0 row 0 end 0x1"},
    {"the BIOS version", [] { return wmiRows(L"Win32_BIOS", L"Version"); }, "query 0x0 row WINE   - 1 end 0x1"},
    {"a class without rows", [] { return wmiRows(L"Win32_CacheMemory", L"Purpose"); }, "query 0x0 end 0x1"},
    {"an unknown class", [] { return wmiRows(L"Win32_NoSuchClass", L"Name"); }, "query 0x0 end 0x1"},
    {"a missing property", [] { return wmiRows(L"Win32_BIOS", L"NoSuchName"); }, "query 0x0 row 0x80041002 end 0x1"},
    {"a query that does not parse", [] { return wmiRows(L"Win32_BIOS", L"Name", L"Name ="); }, "query 0x80041017"},
};
// clang-format on

// Every row, asked of the machine the seam is bound to now.
inline void expectEveryAnswer() {
    for (const Case& row : kCases) EXPECT_EQ(row.ask(), row.answer) << row.question;
}

}  // namespace Corvane::testing::contract
