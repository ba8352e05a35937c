// Folders, the file system, device objects and WoW64 file-system redirection.
// Every parent folder of a listed path exists; a 32-bit process on 64-bit
// Windows sees <windows>\System32 as SysWOW64 unless redirection is off.
// A symbolic link is followed by CreateFileW (unless FILE_FLAG_OPEN_REPARSE_POINT).
#include <algorithm>
#include <cstdio>

#include "toolkit/simulation/SimState.h"

namespace Corvane::simulated::detail {
namespace {

bool startsWithFolder(std::wstring_view path, std::wstring_view folder) {
    return path.size() >= folder.size() && equalsIgnoreCase(path.substr(0, folder.size()), folder) &&
           (path.size() == folder.size() || path[folder.size()] == L'\\' || folder.back() == L'\\');
}

// Folders under System32 that WoW64 never redirects.
constexpr const wchar_t* kRedirectionExempt[] = {L"catroot", L"catroot2", L"drivers\\etc", L"logfiles", L"spool"};

std::wstring redirect(MachineState& m, const std::wstring& path) {
    if (!m.profile.system.wow64 || !m.thread().redirectionTokens.empty()) return path;
    auto windows = normalizePath(m.profile.system.windowsDirectory);
    auto system32 = windows + L"\\System32";
    if (!startsWithFolder(path, system32)) return path;
    for (const auto* exempt : kRedirectionExempt)
        if (startsWithFolder(path, system32 + L"\\" + exempt)) return path;
    return windows + L"\\SysWOW64" + path.substr(system32.size());
}

struct PathStatus {
    DWORD error = 0;  // 0: exists
    bool directory = false;
};

bool isDriveRoot(const std::wstring& path) { return path.size() <= 3 && path.size() >= 2 && path[1] == L':'; }

bool folderExists(MachineState& m, const std::wstring& path) {
    if (isDriveRoot(path)) return true;
    if (equalsIgnoreCase(path, normalizePath(m.profile.system.windowsDirectory))) return true;
    for (const auto& entry : m.profile.files) {
        auto listed = normalizePath(entry.path);
        if (entry.kind == profile::PathKind::Directory && equalsIgnoreCase(listed, path)) return true;
        if (listed.size() > path.size() && startsWithFolder(listed, path)) return true;
    }
    return false;
}

constexpr int kMaxLinkDepth = 31;  // Windows gives up after 31 reparse points

PathStatus lookupPath(MachineState& m, const wchar_t* raw, bool followLinks = true, int depth = 0) {
    if (!raw || !*raw) return {ERROR_PATH_NOT_FOUND};
    std::wstring original(raw);
    bool trailingSeparator = original.size() > 3 && (original.back() == L'\\' || original.back() == L'/');
    auto path = redirect(m, normalizePath(original));

    for (const auto& entry : m.profile.files) {
        auto listed = normalizePath(entry.path);
        if (entry.kind == profile::PathKind::Error &&
            (equalsIgnoreCase(listed, path) || startsWithFolder(path, listed)))
            return {entry.error};
    }
    for (const auto& entry : m.profile.files) {
        if (entry.kind != profile::PathKind::Link || !equalsIgnoreCase(normalizePath(entry.path), path)) continue;
        if (depth >= kMaxLinkDepth) return {ERROR_CANT_RESOLVE_FILENAME};
        auto target = lookupPath(m, entry.target.c_str(), true, depth + 1);
        if (followLinks) return target;
        return {0, target.error == 0 && target.directory};  // the link itself: a folder link when its target is one
    }
    for (const auto& entry : m.profile.files) {
        if (entry.kind != profile::PathKind::File || !equalsIgnoreCase(normalizePath(entry.path), path)) continue;
        if (trailingSeparator) return {ERROR_INVALID_NAME};  // "file.sys\" names no file
        return {0, false};
    }
    if (folderExists(m, path)) return {0, true};
    auto slash = path.find_last_of(L'\\');
    bool parentExists = slash != std::wstring::npos && folderExists(m, path.substr(0, std::max<size_t>(slash, 2)));
    return {static_cast<DWORD>(parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND)};
}

size_t copyText(const std::wstring& text, wchar_t* out, size_t capacity) {
    if (!out || capacity == 0) return 0;
    size_t n = std::min(text.size(), capacity - 1);
    std::copy_n(text.begin(), n, out);
    out[n] = 0;
    return n;
}

}  // namespace

UINT WINAPI simGetWindowsDirectoryW(LPWSTR buffer, UINT size) {
    Session s("GetWindowsDirectoryW");
    const auto& windows = s.m.profile.system.windowsDirectory;
    if (!buffer || size <= windows.size())
        return static_cast<UINT>(windows.size() + 1);  // the size needed, NUL included
    copyText(windows, buffer, size);
    return static_cast<UINT>(windows.size());
}

DWORD WINAPI simExpandEnvironmentStringsW(LPCWSTR source, LPWSTR out, DWORD size) {
    Session s("ExpandEnvironmentStringsW", narrowArgument(source));
    if (!source) {
        s.m.setLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const auto& system = s.m.profile.system;
    auto drive = system.windowsDirectory.substr(0, 2);
    const std::pair<const wchar_t*, std::wstring> variables[] = {
        {L"ProgramW6432", system.programW6432},
        {L"ProgramFiles", system.programFiles},
        {L"ProgramFiles(x86)", drive + L"\\Program Files (x86)"},
        {L"SystemRoot", system.windowsDirectory},
        {L"windir", system.windowsDirectory},
        {L"SystemDrive", drive},
    };
    std::wstring text(source), expanded;
    for (size_t i = 0; i < text.size();) {
        auto close = text[i] == L'%' ? text.find(L'%', i + 1) : std::wstring::npos;
        if (close == std::wstring::npos) {
            expanded.push_back(text[i++]);
            continue;
        }
        auto name = text.substr(i + 1, close - i - 1);
        const std::wstring* value = nullptr;
        for (const auto& [variable, content] : variables)
            if (equalsIgnoreCase(name, variable)) value = &content;
        if (value) {
            expanded += *value;
            i = close + 1;
        } else {
            expanded.push_back(text[i++]);  // unknown names stay as written
        }
    }
    auto needed = static_cast<DWORD>(expanded.size() + 1);
    if (out && size >= needed) copyText(expanded, out, size);
    return needed;
}

BOOL WINAPI simSHGetSpecialFolderPathW(HWND, LPWSTR path, int csidl, BOOL) {
    Session s("SHGetSpecialFolderPathW", hexArgument(static_cast<uint32_t>(csidl)));
    const auto& system = s.m.profile.system;
    std::wstring folder;
    switch (csidl & 0xFF) {
        case CSIDL_PROGRAM_FILES: folder = system.programFiles; break;
        case CSIDL_WINDOWS: folder = system.windowsDirectory; break;
        case CSIDL_SYSTEM: folder = system.windowsDirectory + L"\\System32"; break;
        case CSIDL_PROGRAM_FILESX86: folder = system.windowsDirectory.substr(0, 2) + L"\\Program Files (x86)"; break;
        default: return FALSE;
    }
    if (!path) return FALSE;
    copyText(folder, path, MAX_PATH);
    return TRUE;
}

LPWSTR WINAPI simPathCombineW(LPWSTR out, LPCWSTR directory, LPCWSTR file) {
    Session s("PathCombineW", narrowArgument(directory) + " + " + narrowArgument(file));
    return ::PathCombineW(out, directory, file);
}

HANDLE WINAPI simCreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                             DWORD flags, HANDLE templateFile) {
    Session s("CreateFileW", narrowArgument(name));
    auto& m = s.m;
    char recorded[96];
    std::snprintf(recorded, sizeof recorded, "access=0x%08lX share=0x%08lX disposition=%lu flags=0x%08lX", access,
                  share, disposition, flags);
    m.recordFlags(std::string(recorded) + (security ? " security" : "") + (templateFile ? " template" : ""));
    auto fail = [&](DWORD error) {
        m.setLastError(error);
        return INVALID_HANDLE_VALUE;
    };
    auto open = [&](const std::wstring& what, bool directory = false) {
        m.setLastError(ERROR_SUCCESS);
        HandleEntry entry{HandleKind::File, "file handle " + toUtf8(what)};
        entry.directory = directory;
        return reinterpret_cast<HANDLE>(m.addHandle(std::move(entry)));
    };
    if (!name) return fail(ERROR_PATH_NOT_FOUND);
    std::wstring text(name);
    if (text.rfind(L"\\\\.\\", 0) == 0) {
        for (const auto& device : m.profile.devices) {
            if (!equalsIgnoreCase(device.name, text)) continue;
            if (device.openError) return fail(device.openError);
            return open(device.name);
        }
        return fail(ERROR_FILE_NOT_FOUND);
    }
    auto status = lookupPath(m, name, !(flags & FILE_FLAG_OPEN_REPARSE_POINT));
    if (status.error) {
        bool mustExist = disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING;
        if ((status.error == ERROR_FILE_NOT_FOUND) && !mustExist)
            return fail(ERROR_ACCESS_DENIED);  // nothing is created here
        return fail(status.error);
    }
    if (disposition == CREATE_NEW) return fail(ERROR_FILE_EXISTS);
    if (status.directory && !(flags & FILE_FLAG_BACKUP_SEMANTICS)) return fail(ERROR_ACCESS_DENIED);
    return open(text, status.directory);
}

BOOL WINAPI simGetFileInformationByHandle(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION information) {
    Session s("GetFileInformationByHandle");
    auto* entry = s.m.findHandle(reinterpret_cast<uintptr_t>(handle), HandleKind::File);
    if (!entry) {
        s.m.setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!information) {
        s.m.setLastError(ERROR_NOACCESS);
        return FALSE;
    }
    *information = {};
    information->dwFileAttributes = entry->directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    information->nNumberOfLinks = 1;
    return TRUE;
}

BOOL WINAPI simCloseHandle(HANDLE handle) {
    Session s("CloseHandle");
    auto value = reinterpret_cast<uintptr_t>(handle);
    if (s.m.findHandle(value, HandleKind::File) || s.m.findHandle(value, HandleKind::Snapshot)) {
        s.m.handles.erase(value);
        return TRUE;
    }
    char text[48];
    std::snprintf(text, sizeof text, "CloseHandle of an unknown handle %p", handle);
    s.m.noteInvalidRelease(text);
    s.m.setLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL WINAPI simWow64DisableWow64FsRedirection(PVOID* oldValue) {
    Session s("Wow64DisableWow64FsRedirection");
    if (!s.m.profile.system.wow64) {
        s.m.setLastError(ERROR_INVALID_FUNCTION);  // only a 32-bit process on 64-bit Windows is redirected
        return FALSE;
    }
    if (!oldValue) {
        s.m.setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    static uintptr_t nextToken = 0x7EDF0000;
    auto token = reinterpret_cast<void*>(nextToken += 0x10);
    s.m.thread().redirectionTokens.push_back(token);
    *oldValue = token;
    return TRUE;
}

BOOL WINAPI simWow64RevertWow64FsRedirection(PVOID oldValue) {
    Session s("Wow64RevertWow64FsRedirection");
    if (!s.m.profile.system.wow64) {
        s.m.setLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    auto& tokens = s.m.thread().redirectionTokens;
    auto it = std::find(tokens.begin(), tokens.end(), oldValue);
    if (it == tokens.end()) {
        s.m.noteInvalidRelease("Wow64RevertWow64FsRedirection with a value no disable call handed out on this thread");
        s.m.setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    tokens.erase(it);
    return TRUE;
}

}  // namespace Corvane::simulated::detail
