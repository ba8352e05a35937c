// Last error, thread identity and text functions: the machine keeps its own
// last error per thread; text functions forward to Windows' own.
#include "toolkit/simulation/SimState.h"

namespace Corvane::simulated::detail {

DWORD WINAPI simGetLastError() {
    Session s("GetLastError");
    return s.m.thread().lastError;
}

void WINAPI simSetLastError(DWORD error) {
    Session s("SetLastError", std::to_string(error));
    s.m.setLastError(error);
}

DWORD WINAPI simGetCurrentThreadId() {
    Session s("GetCurrentThreadId");
    return ::GetCurrentThreadId();
}

PWSTR WINAPI simStrStrIW(PCWSTR text, PCWSTR search) {
    Session s("StrStrIW", narrowArgument(search));
    return ::StrStrIW(text, search);
}

int WINAPI simStrCmpIW(PCWSTR a, PCWSTR b) {
    Session s("StrCmpIW", narrowArgument(b));
    return ::StrCmpIW(a, b);
}

int WINAPI simWideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH text, int length, LPSTR out, int outSize,
                                  LPCCH defaultChar, LPBOOL usedDefault) {
    Session s("WideCharToMultiByte");
    ::SetLastError(0);
    int result = ::WideCharToMultiByte(codePage, flags, text, length, out, outSize, defaultChar, usedDefault);
    if (!result) s.m.setLastError(::GetLastError());
    return result;
}

int WINAPI simMultiByteToWideChar(UINT codePage, DWORD flags, LPCCH text, int length, LPWSTR out, int outSize) {
    Session s("MultiByteToWideChar");
    ::SetLastError(0);
    int result = ::MultiByteToWideChar(codePage, flags, text, length, out, outSize);
    if (!result) s.m.setLastError(::GetLastError());
    return result;
}

}  // namespace Corvane::simulated::detail
