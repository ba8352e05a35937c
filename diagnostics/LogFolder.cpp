#include "diagnostics/LogFolder.h"

#include "win32/Win32Api.h"

namespace Corvane::logfolder {
namespace {

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Where the folders that can be created begin: after "C:\", "\\server\share\"
// or "\\?\C:\" (a full path always starts with one of them).
size_t rootLength(const std::wstring& path) {
    size_t at = 0;
    if (path.compare(0, 4, L"\\\\?\\") == 0) at = 4;
    const bool unc = at == 0 ? path.compare(0, 2, L"\\\\") == 0 : path.compare(at, 4, L"UNC\\") == 0;
    if (!unc) return path.size() > at + 2 && path[at + 1] == L':' ? at + 3 : at;
    at += at == 0 ? 2 : 4;
    for (int part = 0; part < 2 && at < path.size(); ++part) {  // the server, then the share
        while (at < path.size() && !isSeparator(path[at])) ++at;
        if (at < path.size()) ++at;
    }
    return at;
}

}  // namespace

std::wstring fullPathOf(const std::wstring& folder) {
    if (folder.empty()) return std::wstring();
    const auto& api = platform::win32();
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = api.GetFullPathNameW(folder.c_str(), static_cast<DWORD>(full.size()), full.data(),
                                                  nullptr);
        if (length == 0) return std::wstring();
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length);  // too small: the answer is the size needed, its NUL included
    }
}

bool createWithParents(const std::wstring& fullPath) {
    const auto& api = platform::win32();
    std::wstring folder = fullPath;
    while (folder.size() > rootLength(folder) && isSeparator(folder.back())) folder.pop_back();
    if (folder.size() <= rootLength(folder)) return true;  // a drive's or a share's root

    const DWORD attributes = api.GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;

    const size_t parentEnd = folder.find_last_of(L"\\/");
    if (parentEnd != std::wstring::npos && !createWithParents(folder.substr(0, parentEnd + 1))) return false;
    // Another writer may create it between our look and our creation: that is fine too.
    return api.CreateDirectoryW(folder.c_str(), nullptr) || api.GetLastError() == ERROR_ALREADY_EXISTS;
}

std::wstring join(const std::wstring& folder, const std::wstring& fileName) {
    if (folder.empty() || isSeparator(folder.back())) return folder + fileName;
    return folder + L'\\' + fileName;
}

}  // namespace Corvane::logfolder
