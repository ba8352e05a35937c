#include "vmdetection/CommonChecks.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "diagnostics/Evidence.h"
#include "platform/SystemProbes.h"

namespace Corvane::utils::vmdetection {

using diagnostics::noteEvidence;
using platform::win32;

namespace {

constexpr DWORD kRegistryValueBufferBytes = 2048;
constexpr DWORD kRegistryValueReadLimit = 260;  // bytes, not characters
constexpr DWORD kShareEverything = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::string fourCharacterCode(DWORD id) {
    std::string text(4, ' ');
    std::memcpy(text.data(), &id, 4);  // identifiers are listed in memory order: "DSDT"
    for (char& c : text) {
        if (c < 0x20 || c > 0x7e) c = '?';
    }
    return text;
}

struct PatternHit {
    const BytePattern* pattern = nullptr;
    long long offset = -1;
};

PatternHit findFirstPattern(const uint8_t* table, DWORD size, std::span<const BytePattern> patterns) {
    for (const BytePattern& pattern : patterns) {
        const long long offset = platform::findBytes(table, size, reinterpret_cast<const uint8_t*>(pattern.text),
                                                     pattern.size());
        if (offset >= 0) return {&pattern, offset};
    }
    return {};
}

void noteFirmwareHit(const std::string& table, const PatternHit& hit) {
    if (!diagnostics::evidenceWanted()) return;
    noteEvidence("firmware table", table);
    noteEvidence("pattern", hit.pattern->text);
    noteEvidence("offset", std::to_string(hit.offset));
}

}  // namespace

size_t BytePattern::size() const { return std::strlen(text); }

bool anyProcessRunning(std::span<const wchar_t* const> exeNames) {
    for (const wchar_t* name : exeNames) {
        if (platform::isProcessRunning(name) != 0) {
            noteEvidence("process", std::wstring_view(name));
            return true;
        }
    }
    return false;
}

bool registryKeyExists(HKEY root, const wchar_t* key) {
    HKEY handle = nullptr;
    if (win32().RegOpenKeyExW(root, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    win32().RegCloseKey(handle);
    noteEvidence("registry key", std::wstring(root == HKEY_CURRENT_USER ? L"HKCU\\" : L"HKLM\\") + key);
    return true;
}

bool registryValueContains(const RegistryValueProbe& probe) {
    const auto& api = win32();
    HKEY handle = nullptr;
    if (api.RegOpenKeyExW(HKEY_LOCAL_MACHINE, probe.key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;

    wchar_t buffer[kRegistryValueBufferBytes / sizeof(wchar_t)] = {};
    DWORD size = kRegistryValueReadLimit;
    bool found = false;
    if (api.RegQueryValueExW(handle, probe.valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) ==
        ERROR_SUCCESS) {
        found = api.StrStrIW(buffer, probe.text) != nullptr;
    }
    api.RegCloseKey(handle);
    if (found && diagnostics::evidenceWanted()) {
        noteEvidence("registry key", std::wstring(L"HKLM\\") + probe.key);
        noteEvidence("registry value", std::wstring_view(probe.valueName));
        noteEvidence("text", std::wstring_view(buffer));
    }
    return found;
}

bool anyRegistryValueContains(std::span<const RegistryValueProbe> probes) {
    for (const RegistryValueProbe& probe : probes) {
        if (registryValueContains(probe)) return true;
    }
    return false;
}

// The attributes of what the path names, following links: a link is judged by
// its target, and a link whose target is missing names nothing.  The path is
// opened with no access rights, full sharing and backup semantics (so folders
// open too).  Any failure, not only absence, is INVALID_FILE_ATTRIBUTES.
DWORD followedAttributes(const std::wstring& path) {
    if (path.empty()) return INVALID_FILE_ATTRIBUTES;
    const auto& api = win32();
    const HANDLE handle = api.CreateFileW(path.c_str(), 0, kShareEverything, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return INVALID_FILE_ATTRIBUTES;
    BY_HANDLE_FILE_INFORMATION information{};
    const BOOL read = api.GetFileInformationByHandle(handle, &information);
    api.CloseHandle(handle);
    return read ? information.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
}

bool pathIsFile(const std::wstring& path) {
    const DWORD attributes = followedAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool pathIsDirectory(const std::wstring& path) {
    const DWORD attributes = followedAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring windowsDirectory() {
    wchar_t buffer[MAX_PATH] = {};
    const UINT length = win32().GetWindowsDirectoryW(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::wstring();
    return buffer;
}

std::wstring nativeProgramFilesFolder() {
    wchar_t buffer[MAX_PATH] = {};
    if (platform::isRunningUnderWow64()) {
        const DWORD length = win32().ExpandEnvironmentStringsW(L"%ProgramW6432%", buffer, MAX_PATH);
        // An unexpanded or truncated name is no folder.
        if (length == 0 || length > MAX_PATH || buffer[0] == L'%') return std::wstring();
    } else if (!win32().SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_PROGRAM_FILES, FALSE)) {
        return std::wstring();
    }
    return buffer;
}

std::wstring combinePath(const std::wstring& folder, const wchar_t* relative) {
    if (folder.empty()) return std::wstring();
    wchar_t buffer[MAX_PATH] = {};
    if (!win32().PathCombineW(buffer, folder.c_str(), relative)) return std::wstring();
    return buffer;
}

bool anyFileUnderWindowsDirectory(std::span<const wchar_t* const> relativePaths) {
    const std::wstring windows = windowsDirectory();
    if (windows.empty()) return false;

    // A 32-bit process must see the native System32 folder.
    platform::Wow64RedirectionGuard nativeSystemFolder;
    for (const wchar_t* relative : relativePaths) {
        const std::wstring path = combinePath(windows, relative);
        if (pathIsFile(path)) {
            noteEvidence("file", path);
            return true;
        }
    }
    return false;
}

bool anyDeviceOpens(std::span<const wchar_t* const> names) {
    for (const wchar_t* name : names) {
        HANDLE handle = win32().CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            win32().CloseHandle(handle);
            noteEvidence("device", std::wstring_view(name));
            return true;
        }
    }
    return false;
}

bool anyAdapterWithMacPrefix(const uint8_t (&prefix)[3]) {
    const platform::NetworkAdapterList list = platform::getNetworkAdapters();
    if (!list.usable()) return false;
    for (const IP_ADAPTER_INFO* adapter = list.adapters; adapter; adapter = adapter->Next) {
        if (adapter->AddressLength == 6 && std::memcmp(adapter->Address, prefix, 3) == 0) {
            noteEvidence("MAC address", formatMacAddress(adapter->Address, 6));
            return true;
        }
    }
    return false;
}

bool smbiosContainsAny(std::span<const BytePattern> patterns) {
    DWORD size = 0;
    platform::FirmwareBuffer table(platform::getFirmwareTable(platform::kProviderRsmb, 0, size));
    if (!table) return false;
    const PatternHit hit = findFirstPattern(table.get(), size, patterns);
    if (hit.pattern) noteFirmwareHit("RSMB", hit);
    return hit.pattern != nullptr;
}

bool acpiTablesContainAny(std::span<const BytePattern> patterns) {
    platform::FirmwareBuffer idList(static_cast<uint8_t*>(std::calloc(platform::kAcpiIdListBytes, 1)));
    if (!idList) return false;

    const int bytes = platform::enumerateFirmwareTables(idList.get());
    if (bytes == -1) return false;
    if (bytes < 4) {
        noteEvidence("ACPI enumeration", std::to_string(bytes) + " bytes");
        return true;
    }

    // A list larger than the buffer is cut to the identifiers it holds.
    const size_t count = std::min<size_t>(static_cast<size_t>(bytes), platform::kAcpiIdListBytes) / 4;
    const auto* ids = reinterpret_cast<const DWORD*>(idList.get());
    for (size_t i = 0; i < count; ++i) {
        DWORD size = 0;
        platform::FirmwareBuffer table(platform::getFirmwareTable(platform::kProviderAcpi, ids[i], size));
        if (!table) continue;
        const PatternHit hit = findFirstPattern(table.get(), size, patterns);
        if (hit.pattern) {
            noteFirmwareHit("ACPI " + fourCharacterCode(ids[i]), hit);
            return true;
        }
    }
    return false;
}

const wchar_t* wmiTextOf(const VARIANT& value) {
    if (value.vt != VT_BSTR) return nullptr;
    return value.bstrVal ? value.bstrVal : L"";
}

void noteWmiHit(const wchar_t* className, const wchar_t* property, std::wstring_view value) {
    if (!diagnostics::evidenceWanted()) return;
    noteEvidence("WMI class", std::wstring_view(className));
    noteEvidence("WMI property", std::wstring_view(property));
    noteEvidence("WMI value", value);
}

std::string formatMacAddress(const uint8_t* address, size_t length) {
    std::string text;
    char part[4];
    for (size_t i = 0; i < length; ++i) {
        std::snprintf(part, sizeof part, i == 0 ? "%02X" : ":%02X", address[i]);
        text += part;
    }
    return text;
}

}  // namespace Corvane::utils::vmdetection
