#pragma once
// Internal to the simulated machine: the state every domain file works on and
// the entry points (trampolines) that make up its Win32 table.  An entry point
// locks the bound machine and records the call, mostly through a `Session`.
// The registry's entry points take the lock by hand, since the call they record
// names the key a handle stands for, which is looked up under the lock; the WMI
// objects' methods lock the machine that made them, bound or not.

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "toolkit/profile/MachineProfile.h"
#include "toolkit/profile/ProfileText.h"
#include "toolkit/simulation/SimulatedMachine.h"
#include "win32/SystemFunctions.h"

namespace Corvane::simulated::detail {

using profile::equalsIgnoreCase;
using profile::toUtf8;

class FakeComObject;

enum class HandleKind { RegistryKey, File, Snapshot, DeviceInfoSet };

struct HandleEntry {
    HandleEntry(HandleKind k, std::string d) : kind(k), description(std::move(d)) {}
    HandleKind kind;
    std::string description;                  // how outstandingResources() names it
    std::wstring registryRoot, registryPath;  // RegistryKey
    std::vector<profile::Process> processes;  // Snapshot: the processes when it was taken
    size_t cursor = 0;                        // Snapshot: next entry for Process32NextW
    bool directory = false;                   // File: the handle stands for a folder
    std::vector<profile::DiskDrive> drives;   // DeviceInfoSet
};

struct ThreadState {
    DWORD lastError = 0;
    int comDepth = 0;                      // CoInitializeEx calls through the machine not yet undone
    bool externalMta = false;              // the thread was already in the multithreaded apartment
    int apartment = -1;                    // -1 none, COINIT_APARTMENTTHREADED or COINIT_MULTITHREADED
    std::vector<void*> redirectionTokens;  // WoW64 redirection switched off, innermost last
};

const platform::Win32Api& simulatedApi();  // the machine's table

// The machine's lock, recursive since an entry point may call another.  Not a
// std::recursive_mutex: MinGW's threads allocate that one's lock on first use
// and its destructor never frees it, 24 bytes left behind by every machine,
// which a survey of thousands of profiles scatters through the heap until the
// freed profiles' large blocks no longer fit back into it.
class MachineLock {
public:
    MachineLock() { ::InitializeCriticalSection(&section_); }
    ~MachineLock() { ::DeleteCriticalSection(&section_); }
    MachineLock(const MachineLock&) = delete;
    MachineLock& operator=(const MachineLock&) = delete;

    void lock() { ::EnterCriticalSection(&section_); }
    void unlock() { ::LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

struct MachineState {
    explicit MachineState(profile::MachineProfile p) : profile(std::move(p)) {}
    ~MachineState();

    profile::MachineProfile profile;
    Faults faults;
    std::vector<Call> calls;
    MachineLock mutex;

    std::map<DWORD, ThreadState> threads;
    ThreadState& thread();  // the calling thread's

    // Handles of every kind share one number space, so a handle of the wrong
    // kind is as invalid as one never handed out.
    std::map<uintptr_t, HandleEntry> handles;
    uintptr_t nextHandle = 0x5100;
    uintptr_t addHandle(HandleEntry entry);
    HandleEntry* findHandle(uintptr_t value, HandleKind kind);

    std::map<void*, size_t> heapBlocks, localBlocks;
    int heapAllocCount = 0, localAllocCount = 0;

    int kernel32References = 0;

    ULONGLONG tickCount = 1'000'000;  // milliseconds: moves only when the code sleeps

    // The library's own binding of the functions of iphlpapi, mpr and
    // powrprof, over this machine's LoadLibraryExW and GetProcAddress.
    platform::SystemFunctions systemFunctions{simulatedApi()};

    std::map<BSTR, std::string> bstrs;             // handed out, not yet freed
    std::map<SAFEARRAY*, std::string> safeArrays;  // handed out through Get, not yet freed
    std::map<SAFEARRAY*, int> arrayLocks;          // SafeArrayAccessData not undone
    std::set<FakeComObject*> comObjects;           // alive: reference count above zero
    bool comInitializeExFaultUsed = false;
    bool comSecuritySet = false;

    std::vector<std::string> invalidReleases;  // releases of things the machine did not hand out

    void setLastError(DWORD error) { thread().lastError = error; }
    void record(const char* function, std::string argument) { calls.push_back({function, std::move(argument), {}}); }
    void recordFlags(std::string flags) { calls.back().flags = std::move(flags); }  // of the call just recorded
    void noteInvalidRelease(std::string what) { invalidReleases.push_back(std::move(what)); }
    void trackBstr(BSTR value, std::string origin);
};

// The state of the bound machine; aborts with a message when none is bound.
MachineState& boundState();

class Session {
public:
    Session(const char* function, std::string argument = {});
    MachineState& m;

private:
    std::lock_guard<MachineLock> lock_;
};

std::string narrowArgument(const wchar_t* text);  // UTF-8, "(null)" for null
std::string hexArgument(uint32_t value);          // "0x0000002A"
std::wstring normalizePath(std::wstring path);    // '/' -> '\', no doubled or trailing separators

// Entry points, one group per domain file.
DWORD WINAPI simGetLastError();
void WINAPI simSetLastError(DWORD);
DWORD WINAPI simGetCurrentThreadId();
PWSTR WINAPI simStrStrIW(PCWSTR, PCWSTR);
int WINAPI simStrCmpIW(PCWSTR, PCWSTR);
int WINAPI simWideCharToMultiByte(UINT, DWORD, LPCWCH, int, LPSTR, int, LPCCH, LPBOOL);
int WINAPI simMultiByteToWideChar(UINT, DWORD, LPCCH, int, LPWSTR, int);

LSTATUS WINAPI simRegOpenKeyExW(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
LSTATUS WINAPI simRegQueryValueExW(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
LSTATUS WINAPI simRegCloseKey(HKEY);

UINT WINAPI simGetWindowsDirectoryW(LPWSTR, UINT);
DWORD WINAPI simExpandEnvironmentStringsW(LPCWSTR, LPWSTR, DWORD);
BOOL WINAPI simSHGetSpecialFolderPathW(HWND, LPWSTR, int, BOOL);
LPWSTR WINAPI simPathCombineW(LPWSTR, LPCWSTR, LPCWSTR);
HANDLE WINAPI simCreateFileW(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
BOOL WINAPI simCloseHandle(HANDLE);
BOOL WINAPI simGetFileInformationByHandle(HANDLE, LPBY_HANDLE_FILE_INFORMATION);
BOOL WINAPI simWow64DisableWow64FsRedirection(PVOID*);
BOOL WINAPI simWow64RevertWow64FsRedirection(PVOID);

HANDLE WINAPI simCreateToolhelp32Snapshot(DWORD, DWORD);
BOOL WINAPI simProcess32FirstW(HANDLE, LPPROCESSENTRY32W);
BOOL WINAPI simProcess32NextW(HANDLE, LPPROCESSENTRY32W);

HANDLE WINAPI simGetProcessHeap();
LPVOID WINAPI simHeapAlloc(HANDLE, DWORD, SIZE_T);
BOOL WINAPI simHeapFree(HANDLE, DWORD, LPVOID);
HLOCAL WINAPI simLocalAlloc(UINT, SIZE_T);
HLOCAL WINAPI simLocalFree(HLOCAL);
BOOL WINAPI simGlobalMemoryStatusEx(LPMEMORYSTATUSEX);

HMODULE WINAPI simLoadLibraryA(LPCSTR);
HMODULE WINAPI simLoadLibraryExW(LPCWSTR, HANDLE, DWORD);
FARPROC WINAPI simGetProcAddress(HMODULE, LPCSTR);
BOOL WINAPI simFreeLibrary(HMODULE);
HMODULE WINAPI simGetModuleHandleW(LPCWSTR);
HANDLE WINAPI simGetCurrentProcess();

UINT WINAPI simGetSystemFirmwareTable(DWORD, DWORD, PVOID, DWORD);
UINT WINAPI simEnumSystemFirmwareTables(DWORD, PVOID, DWORD);

// The exports of the machine's iphlpapi, mpr and powrprof (SimModules.cpp hands them out)...
ULONG WINAPI simGetAdaptersInfo(PIP_ADAPTER_INFO, PULONG);
DWORD WINAPI simWNetGetProviderNameW(DWORD, LPWSTR, LPDWORD);
BOOLEAN WINAPI simGetPwrCapabilities(PSYSTEM_POWER_CAPABILITIES);
// ...and the table's entries, which reach them through the machine's systemFunctions.
ULONG WINAPI simBoundGetAdaptersInfo(PIP_ADAPTER_INFO, PULONG);
DWORD WINAPI simBoundWNetGetProviderNameW(DWORD, LPWSTR, LPDWORD);
BOOLEAN WINAPI simBoundGetPwrCapabilities(PSYSTEM_POWER_CAPABILITIES);
HWND WINAPI simFindWindowW(LPCWSTR, LPCWSTR);

HDEVINFO WINAPI simSetupDiGetClassDevsW(const GUID*, PCWSTR, HWND, DWORD);
BOOL WINAPI simSetupDiEnumDeviceInfo(HDEVINFO, DWORD, PSP_DEVINFO_DATA);
BOOL WINAPI simSetupDiGetDeviceRegistryPropertyW(HDEVINFO, PSP_DEVINFO_DATA, DWORD, PDWORD, PBYTE, DWORD, PDWORD);
BOOL WINAPI simSetupDiDestroyDeviceInfoList(HDEVINFO);

HRESULT WINAPI simCoInitializeEx(LPVOID, DWORD);
HRESULT WINAPI simCoInitializeSecurity(PSECURITY_DESCRIPTOR, LONG, SOLE_AUTHENTICATION_SERVICE*, void*, DWORD, DWORD,
                                       void*, DWORD, void*);
HRESULT WINAPI simCoCreateInstance(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
HRESULT WINAPI simCoSetProxyBlanket(IUnknown*, DWORD, DWORD, OLECHAR*, DWORD, DWORD, RPC_AUTH_IDENTITY_HANDLE, DWORD);
void WINAPI simCoUninitialize();
BSTR WINAPI simSysAllocString(const OLECHAR*);
void WINAPI simSysFreeString(BSTR);
HRESULT WINAPI simVariantClear(VARIANTARG*);
HRESULT WINAPI simSafeArrayAccessData(SAFEARRAY*, void**);
HRESULT WINAPI simSafeArrayUnaccessData(SAFEARRAY*);
HRESULT WINAPI simSafeArrayGetLBound(SAFEARRAY*, UINT, LONG*);
HRESULT WINAPI simSafeArrayGetUBound(SAFEARRAY*, UINT, LONG*);
HRESULT WINAPI simSafeArrayGetElement(SAFEARRAY*, LONG*, void*);

// The log writer's calls (SimHostDisk.cpp): paths and folders on the host's own disk, the machine's clock.
DWORD WINAPI simGetFullPathNameW(LPCWSTR, DWORD, LPWSTR, LPWSTR*);
DWORD WINAPI simGetFileAttributesW(LPCWSTR);
BOOL WINAPI simCreateDirectoryW(LPCWSTR, LPSECURITY_ATTRIBUTES);
ULONGLONG WINAPI simGetTickCount64();
void WINAPI simSleep(DWORD);

// The WMI side (SimWmi.cpp): a new locator object, and what the COM side needs to know of the objects.
IWbemLocator* createFakeLocator(MachineState& m);
bool isFakeServices(MachineState& m, IUnknown* object);
std::string describeComObject(const FakeComObject* object);  // "IWbemServices ROOT\CIMV2 (2 references)"
void detachComObject(FakeComObject* object);                 // the machine is going away: the object outlives it inert

}  // namespace Corvane::simulated::detail
