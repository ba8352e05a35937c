// The log writer's calls.  Its folder lives on the host's own disk, where the
// log file is opened, so full paths, folder status and folder creation are
// forwarded to Windows and recorded.  The clock is
// the machine's own: Sleep moves it at once, so a pause costs no real time.
#include <algorithm>

#include "toolkit/simulation/SimState.h"

namespace Corvane::simulated::detail {

DWORD WINAPI simGetFullPathNameW(LPCWSTR path, DWORD size, LPWSTR buffer, LPWSTR* filePart) {
    Session s("GetFullPathNameW", narrowArgument(path));
    ::SetLastError(0);
    const DWORD result = ::GetFullPathNameW(path, size, buffer, filePart);
    if (!result) s.m.setLastError(::GetLastError());
    return result;
}

DWORD WINAPI simGetFileAttributesW(LPCWSTR path) {
    Session s("GetFileAttributesW", narrowArgument(path));
    const DWORD attributes = ::GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) s.m.setLastError(::GetLastError());
    return attributes;
}

BOOL WINAPI simCreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES security) {
    Session s("CreateDirectoryW", narrowArgument(path));
    if (::CreateDirectoryW(path, security)) return TRUE;
    s.m.setLastError(::GetLastError());
    return FALSE;
}

ULONGLONG WINAPI simGetTickCount64() {
    Session s("GetTickCount64");
    return s.m.tickCount;
}

void WINAPI simSleep(DWORD milliseconds) {
    Session s("Sleep", std::to_string(milliseconds));
    s.m.tickCount += s.m.faults.sleepsEndHalfway ? std::max<DWORD>(milliseconds / 2, 1) : milliseconds;
}

}  // namespace Corvane::simulated::detail
