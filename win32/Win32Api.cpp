#include "win32/Win32Api.h"

namespace Corvane::platform {
namespace {

const Win32Api kRealWin32 = {
    ::GetLastError,
    ::SetLastError,
    ::GetCurrentThreadId,
    ::RegOpenKeyExW,
    ::RegQueryValueExW,
    ::RegCloseKey,
    ::GetWindowsDirectoryW,
    ::ExpandEnvironmentStringsW,
    ::SHGetSpecialFolderPathW,
    ::PathCombineW,
    ::GetFileAttributesW,
    ::CreateFileW,
    ::CloseHandle,
    ::GetFileInformationByHandle,
    ::Wow64DisableWow64FsRedirection,
    ::Wow64RevertWow64FsRedirection,
    ::CreateToolhelp32Snapshot,
    ::Process32FirstW,
    ::Process32NextW,
    ::GetProcessHeap,
    ::HeapAlloc,
    ::HeapFree,
    ::LocalAlloc,
    ::LocalFree,
    ::GlobalMemoryStatusEx,
    ::LoadLibraryA,
    ::GetProcAddress,
    ::FreeLibrary,
    ::GetModuleHandleW,
    ::GetCurrentProcess,
    ::GetAdaptersInfo,
    ::WNetGetProviderNameW,
    ::FindWindowW,
    ::GetPwrCapabilities,
    ::SetupDiGetClassDevsW,
    ::SetupDiEnumDeviceInfo,
    ::SetupDiGetDeviceRegistryPropertyW,
    ::SetupDiDestroyDeviceInfoList,
    ::CoInitializeEx,
    ::CoInitializeSecurity,
    ::CoCreateInstance,
    ::CoSetProxyBlanket,
    ::CoUninitialize,
    ::SysAllocString,
    ::SysFreeString,
    ::VariantClear,
    ::SafeArrayAccessData,
    ::SafeArrayUnaccessData,
    ::SafeArrayGetLBound,
    ::SafeArrayGetUBound,
    ::SafeArrayGetElement,
    ::StrStrIW,
    ::StrCmpIW,
    ::WideCharToMultiByte,
    ::MultiByteToWideChar,
};

const Win32Api* g_current = &kRealWin32;

}  // namespace

const Win32Api& realWin32() { return kRealWin32; }

const Win32Api& win32() { return *g_current; }

ScopedWin32Binding::ScopedWin32Binding(const Win32Api& api) : previous_(g_current) { g_current = &api; }

ScopedWin32Binding::~ScopedWin32Binding() { g_current = previous_; }

}  // namespace Corvane::platform
