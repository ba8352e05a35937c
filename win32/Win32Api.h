#pragma once
// The one seam between the library and Windows.
//
// Every Windows function the library calls is reached through a table of
// function pointers with the functions' own signatures, so each check reads
// exactly like the Win32 code it is:  win32().RegOpenKeyExW(HKEY_LOCAL_MACHINE,
// key, 0, KEY_READ, &handle).  The DLL binds the table to the real functions;
// tests, replay and capture bind it to a simulated or recording machine.

#include <windows.h>
#include <iphlpapi.h>
#include <setupapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <tlhelp32.h>
#include <wbemcli.h>
#include <winnetwk.h>
#include <powrprof.h>
#include <oleauto.h>

namespace Corvane::platform {

struct Win32Api {
    // Last error and threads.
    DWORD(WINAPI* GetLastError)();
    void(WINAPI* SetLastError)(DWORD);
    DWORD(WINAPI* GetCurrentThreadId)();

    // Registry.
    LSTATUS(WINAPI* RegOpenKeyExW)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
    LSTATUS(WINAPI* RegQueryValueExW)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
    LSTATUS(WINAPI* RegCloseKey)(HKEY);

    // Folders, paths and the file system.
    UINT(WINAPI* GetWindowsDirectoryW)(LPWSTR, UINT);
    DWORD(WINAPI* ExpandEnvironmentStringsW)(LPCWSTR, LPWSTR, DWORD);
    BOOL(WINAPI* SHGetSpecialFolderPathW)(HWND, LPWSTR, int, BOOL);
    LPWSTR(WINAPI* PathCombineW)(LPWSTR, LPCWSTR, LPCWSTR);
    HANDLE(WINAPI* CreateFileW)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    BOOL(WINAPI* CloseHandle)(HANDLE);
    BOOL(WINAPI* GetFileInformationByHandle)(HANDLE, LPBY_HANDLE_FILE_INFORMATION);
    BOOL(WINAPI* Wow64DisableWow64FsRedirection)(PVOID*);
    BOOL(WINAPI* Wow64RevertWow64FsRedirection)(PVOID);

    // Processes (Toolhelp).
    HANDLE(WINAPI* CreateToolhelp32Snapshot)(DWORD, DWORD);
    BOOL(WINAPI* Process32FirstW)(HANDLE, LPPROCESSENTRY32W);
    BOOL(WINAPI* Process32NextW)(HANDLE, LPPROCESSENTRY32W);

    // Memory.
    HANDLE(WINAPI* GetProcessHeap)();
    LPVOID(WINAPI* HeapAlloc)(HANDLE, DWORD, SIZE_T);
    BOOL(WINAPI* HeapFree)(HANDLE, DWORD, LPVOID);
    HLOCAL(WINAPI* LocalAlloc)(UINT, SIZE_T);
    HLOCAL(WINAPI* LocalFree)(HLOCAL);
    BOOL(WINAPI* GlobalMemoryStatusEx)(LPMEMORYSTATUSEX);

    // Modules and the current process.
    HMODULE(WINAPI* LoadLibraryA)(LPCSTR);
    HMODULE(WINAPI* LoadLibraryExW)(LPCWSTR, HANDLE, DWORD);
    FARPROC(WINAPI* GetProcAddress)(HMODULE, LPCSTR);
    BOOL(WINAPI* FreeLibrary)(HMODULE);
    HMODULE(WINAPI* GetModuleHandleW)(LPCWSTR);
    HANDLE(WINAPI* GetCurrentProcess)();

    // Network adapters and providers.  These two and GetPwrCapabilities live
    // in modules that are not KnownDLLs: the real table reaches them through
    // SystemFunctions (win32/SystemFunctions.h), never through an import.
    ULONG(WINAPI* GetAdaptersInfo)(PIP_ADAPTER_INFO, PULONG);
    DWORD(WINAPI* WNetGetProviderNameW)(DWORD, LPWSTR, LPDWORD);

    // Windows.
    HWND(WINAPI* FindWindowW)(LPCWSTR, LPCWSTR);

    // Power management.
    BOOLEAN(WINAPI* GetPwrCapabilities)(PSYSTEM_POWER_CAPABILITIES);

    // SetupAPI.
    HDEVINFO(WINAPI* SetupDiGetClassDevsW)(const GUID*, PCWSTR, HWND, DWORD);
    BOOL(WINAPI* SetupDiEnumDeviceInfo)(HDEVINFO, DWORD, PSP_DEVINFO_DATA);
    BOOL(WINAPI* SetupDiGetDeviceRegistryPropertyW)(HDEVINFO, PSP_DEVINFO_DATA, DWORD, PDWORD, PBYTE, DWORD, PDWORD);
    BOOL(WINAPI* SetupDiDestroyDeviceInfoList)(HDEVINFO);

    // COM and automation.
    HRESULT(WINAPI* CoInitializeEx)(LPVOID, DWORD);
    HRESULT(WINAPI* CoInitializeSecurity)
    (PSECURITY_DESCRIPTOR, LONG, SOLE_AUTHENTICATION_SERVICE*, void*, DWORD, DWORD, void*, DWORD, void*);
    HRESULT(WINAPI* CoCreateInstance)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
    HRESULT(WINAPI* CoSetProxyBlanket)
    (IUnknown*, DWORD, DWORD, OLECHAR*, DWORD, DWORD, RPC_AUTH_IDENTITY_HANDLE, DWORD);
    void(WINAPI* CoUninitialize)();
    BSTR(WINAPI* SysAllocString)(const OLECHAR*);
    void(WINAPI* SysFreeString)(BSTR);
    HRESULT(WINAPI* VariantClear)(VARIANTARG*);
    HRESULT(WINAPI* SafeArrayAccessData)(SAFEARRAY*, void**);
    HRESULT(WINAPI* SafeArrayUnaccessData)(SAFEARRAY*);
    HRESULT(WINAPI* SafeArrayGetLBound)(SAFEARRAY*, UINT, LONG*);
    HRESULT(WINAPI* SafeArrayGetUBound)(SAFEARRAY*, UINT, LONG*);
    HRESULT(WINAPI* SafeArrayGetElement)(SAFEARRAY*, LONG*, void*);

    // Text.
    PWSTR(WINAPI* StrStrIW)(PCWSTR, PCWSTR);
    int(WINAPI* StrCmpIW)(PCWSTR, PCWSTR);
    int(WINAPI* WideCharToMultiByte)(UINT, DWORD, LPCWCH, int, LPSTR, int, LPCCH, LPBOOL);
    int(WINAPI* MultiByteToWideChar)(UINT, DWORD, LPCCH, int, LPWSTR, int);

    // The log writer: its folder made absolute and created, and the pause
    // between attempts to open its file, measured on the monotonic clock.
    DWORD(WINAPI* GetFullPathNameW)(LPCWSTR, DWORD, LPWSTR, LPWSTR*);
    DWORD(WINAPI* GetFileAttributesW)(LPCWSTR);
    BOOL(WINAPI* CreateDirectoryW)(LPCWSTR, LPSECURITY_ATTRIBUTES);
    ULONGLONG(WINAPI* GetTickCount64)();
    void(WINAPI* Sleep)(DWORD);
};

// The table bound to the operating system's own functions.
const Win32Api& realWin32();

// The table the library calls now.  Bound to realWin32() unless a binding
// below replaced it.
const Win32Api& win32();

// Counts the bindings: changes whenever a binding below begins or ends, so an
// answer remembered from one machine is known to belong to it and to no other.
// Stays 0 in the DLL, whose table never changes.
unsigned win32BindingGeneration();

// Replaces the table for the lifetime of the object and restores the previous
// one afterwards.  Not thread-safe: bind before a detection, not during one.
class ScopedWin32Binding {
public:
    explicit ScopedWin32Binding(const Win32Api& api);
    ~ScopedWin32Binding();
    ScopedWin32Binding(const ScopedWin32Binding&) = delete;
    ScopedWin32Binding& operator=(const ScopedWin32Binding&) = delete;

private:
    const Win32Api* previous_;
};

// The firmware table functions are resolved by name from kernel32 at run time.
using GetSystemFirmwareTableFn = UINT(WINAPI*)(DWORD, DWORD, PVOID, DWORD);
using EnumSystemFirmwareTablesFn = UINT(WINAPI*)(DWORD, PVOID, DWORD);
using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);

}  // namespace Corvane::platform
