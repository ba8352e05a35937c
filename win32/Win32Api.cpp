#include "win32/Win32Api.h"

#include "win32/SystemFunctions.h"

// The C++ runtime's: frees its emergency exception pool (see below).
namespace __gnu_cxx {
void __freeres() noexcept;
}

namespace Corvane::platform {
namespace {

// Not imported (see SystemFunctions.h): found in System32 on first use.
SystemFunctions& processFunctions();
ULONG WINAPI systemGetAdaptersInfo(PIP_ADAPTER_INFO adapters, PULONG size) {
    return processFunctions().GetAdaptersInfo(adapters, size);
}
DWORD WINAPI systemWNetGetProviderNameW(DWORD netType, LPWSTR name, LPDWORD size) {
    return processFunctions().WNetGetProviderNameW(netType, name, size);
}
BOOLEAN WINAPI systemGetPwrCapabilities(PSYSTEM_POWER_CAPABILITIES capabilities) {
    return processFunctions().GetPwrCapabilities(capabilities);
}

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
    ::LoadLibraryExW,
    ::GetProcAddress,
    ::FreeLibrary,
    ::GetModuleHandleW,
    ::GetCurrentProcess,
    systemGetAdaptersInfo,
    systemWNetGetProviderNameW,
    ::FindWindowW,
    systemGetPwrCapabilities,
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
    ::GetFullPathNameW,
    ::GetFileAttributesW,
    ::CreateDirectoryW,
    ::GetTickCount64,
    ::Sleep,
};

const Win32Api* g_current = &kRealWin32;
unsigned g_generation = 0;

// The process's own binding.  Its modules are freed by the runtime's exit
// handling, which runs when the DLL unloads: after the manager, which is
// created later and so destroyed first (docs/design-notes.md, "Unloading").
class ProcessSystemFunctions : public SystemFunctions {
public:
    using SystemFunctions::SystemFunctions;
    ~ProcessSystemFunctions() { release(); }
};

// Constant-initialised: ready before any caller, nothing to build at load.
constinit ProcessSystemFunctions g_processFunctions(kRealWin32);
SystemFunctions& processFunctions() { return g_processFunctions; }

// The C++ runtime linked into the DLL allocates an emergency pool for
// exceptions thrown when memory runs out (about 73 KB) when the DLL loads and
// never frees it: every load and free of the DLL would leave it on the heap.
// Freed by the runtime's exit handling, like the modules above.
struct EmergencyPoolRelease {
    ~EmergencyPoolRelease() { __gnu_cxx::__freeres(); }
} g_emergencyPoolRelease;

}  // namespace

const Win32Api& realWin32() { return kRealWin32; }

const Win32Api& win32() { return *g_current; }

unsigned win32BindingGeneration() { return g_generation; }

ScopedWin32Binding::ScopedWin32Binding(const Win32Api& api) : previous_(g_current) {
    g_current = &api;
    ++g_generation;
}

ScopedWin32Binding::~ScopedWin32Binding() {
    g_current = previous_;
    ++g_generation;
}

}  // namespace Corvane::platform
