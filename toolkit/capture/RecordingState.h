#pragma once
// What a recording in progress keeps besides the profile it fills: the open
// registry handles, which facts are recorded already, the real firmware
// functions behind the wrappers handed out, and the WMI objects it wrapped.
// Shared by the recording entry points; not part of the capture interface.

#include <map>
#include <set>
#include <string>

#include "win32/Win32Api.h"
#include "toolkit/profile/MachineProfile.h"

namespace Corvane::capture::detail {

struct RecordingState {
    const platform::Win32Api* inner = &platform::realWin32();  // the machine recorded
    platform::Win32Api api{};                                  // its entry points with recording
    profile::MachineProfile profile;

    // Registry handles the code holds, with the key each one names.
    struct OpenKey {
        std::wstring root;
        std::wstring path;
    };
    std::map<HKEY, OpenKey> openKeys;
    std::map<HANDLE, std::wstring> openPaths;  // paths opened for a status query, by handle

    HDEVINFO diskDriveSet = INVALID_HANDLE_VALUE;  // the set the disk walk holds now

    bool processesRecorded = false;
    bool adaptersRecorded = false;
    bool diskDrivesRecorded = false;
    bool smbiosRecorded = false;
    bool acpiRecorded = false;
    std::set<std::string> firstCallsSeen;  // COM start-up calls: only the first one of each tells the machine's answer

    platform::GetSystemFirmwareTableFn realGetSystemFirmwareTable = nullptr;
    platform::EnumSystemFirmwareTablesFn realEnumSystemFirmwareTables = nullptr;
    platform::IsWow64ProcessFn realIsWow64Process = nullptr;

    // IWbemServices wrappers handed out, with the real object each one forwards to.
    std::map<IUnknown*, IUnknown*> wrappedServices;
    bool wmiConnectionLost = false;  // a query failed, so the library dropped its connection

    // True only for the first call of `what`.
    bool firstCall(const std::string& what) { return firstCallsSeen.insert(what).second; }

    profile::RegistryKey& registryKey(const std::wstring& root, const std::wstring& path);
    profile::WmiClass& wmiClass(const std::wstring& name);
    void addAcpiTable(DWORD id);
};

// The recording bound now; null when none is.
RecordingState* current();

// The machine being recorded: the recording's inner table, or the operating
// system's own functions when no recording is bound.
inline const platform::Win32Api& machine() { return current() ? *current()->inner : platform::realWin32(); }

// Restores the thread's last error on leaving the scope, so that the recording
// done around a forwarded call never changes what the code reads afterwards.
class LastErrorKeeper {
public:
    LastErrorKeeper() : saved_(machine().GetLastError()) {}
    ~LastErrorKeeper() { machine().SetLastError(saved_); }
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

private:
    DWORD saved_;
};

// Case-insensitive equality of two wide strings.
bool sameText(const std::wstring& a, const std::wstring& b);

// The entry points of the firmware functions and IsWow64Process that stand in
// for the real ones GetProcAddress finds.
UINT WINAPI recordGetSystemFirmwareTable(DWORD provider, DWORD tableId, PVOID buffer, DWORD size);
UINT WINAPI recordEnumSystemFirmwareTables(DWORD provider, PVOID buffer, DWORD size);
BOOL WINAPI recordIsWow64Process(HANDLE process, PBOOL wow64);

// WMI: wraps the locator CoCreateInstance made; and the proxy a wrapper stands for.
IWbemLocator* wrapLocator(IWbemLocator* real);
IUnknown* realProxyOf(IUnknown* object);

}  // namespace Corvane::capture::detail
