#include "toolkit/capture/MachineRecorder.h"

#include <algorithm>
#include <cwctype>
#include <vector>

#include "toolkit/capture/RecordingState.h"

namespace Corvane::capture {
namespace detail {
namespace {

RecordingState* g_current = nullptr;

// The folder of absent paths: these errors of a status query mean "not there".
bool meansAbsent(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_BAD_NETPATH ||
           error == ERROR_INVALID_NAME;
}

std::wstring rootName(HKEY root, const RecordingState& state, std::wstring& prefix) {
    if (root == HKEY_LOCAL_MACHINE) return L"HKLM";
    if (root == HKEY_CURRENT_USER) return L"HKCU";
    if (root == HKEY_CLASSES_ROOT) return L"HKCR";
    if (root == HKEY_USERS) return L"HKU";
    // A key opened relative to a key the code already holds.
    auto open = state.openKeys.find(root);
    if (open != state.openKeys.end()) {
        prefix = open->second.path + L"\\";
        return open->second.root;
    }
    return L"";
}

// ---- Registry ---------------------------------------------------------------

LSTATUS WINAPI recordRegOpenKeyExW(HKEY root, LPCWSTR path, DWORD options, REGSAM access, PHKEY key) {
    const LSTATUS result = machine().RegOpenKeyExW(root, path, options, access, key);
    LastErrorKeeper keep;
    RecordingState* state = current();
    if (!state || !path) return result;

    std::wstring prefix;
    const std::wstring rootText = rootName(root, *state, prefix);
    if (rootText.empty()) return result;
    const std::wstring fullPath = prefix + path;

    if (result == ERROR_SUCCESS) {
        state->registryKey(rootText, fullPath);
        if (key) state->openKeys[*key] = {rootText, fullPath};
    } else if (result == ERROR_ACCESS_DENIED) {
        state->registryKey(rootText, fullPath).accessDenied = true;
    }
    // Any other answer: the key is absent, which a profile says by leaving it out.
    return result;
}

// Reads the value's type and whole data, whatever size the code asked for.
void recordRegistryValue(RecordingState& state, HKEY key, const wchar_t* name) {
    auto open = state.openKeys.find(key);
    if (open == state.openKeys.end()) return;
    profile::RegistryKey& recorded = state.registryKey(open->second.root, open->second.path);
    const std::wstring valueName = name ? name : L"";
    for (const auto& value : recorded.values) {
        if (sameText(value.name, valueName)) return;
    }

    DWORD type = 0;
    DWORD size = 0;
    LSTATUS result = machine().RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    std::vector<uint8_t> data;
    while (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
        data.resize(size);
        DWORD got = size;
        result = machine().RegQueryValueExW(key, name, nullptr, &type, data.data(), &got);
        if (result == ERROR_SUCCESS) {
            data.resize(got);
            recorded.values.push_back({valueName, type, std::move(data)});
            return;
        }
        size = got;  // the value grew in between: ask again with its new size
    }
}

LSTATUS WINAPI recordRegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                      LPDWORD size) {
    const LSTATUS result = machine().RegQueryValueExW(key, name, reserved, type, data, size);
    LastErrorKeeper keep;
    if (RecordingState* state = current()) recordRegistryValue(*state, key, name);
    return result;
}

LSTATUS WINAPI recordRegCloseKey(HKEY key) {
    if (RecordingState* state = current()) state->openKeys.erase(key);
    return machine().RegCloseKey(key);
}

// ---- Folders and the file system -------------------------------------------------

UINT WINAPI recordGetWindowsDirectoryW(LPWSTR buffer, UINT size) {
    const UINT result = machine().GetWindowsDirectoryW(buffer, size);
    LastErrorKeeper keep;
    if (RecordingState* state = current(); state && result > 0 && result < size) {
        state->profile.system.windowsDirectory = buffer;
    }
    return result;
}

DWORD WINAPI recordExpandEnvironmentStringsW(LPCWSTR source, LPWSTR buffer, DWORD size) {
    const DWORD result = machine().ExpandEnvironmentStringsW(source, buffer, size);
    LastErrorKeeper keep;
    RecordingState* state = current();
    if (state && source && buffer && result > 0 && result <= size && sameText(source, L"%ProgramW6432%")) {
        state->profile.system.programW6432 = buffer;
    }
    return result;
}

BOOL WINAPI recordSHGetSpecialFolderPathW(HWND window, LPWSTR buffer, int folder, BOOL create) {
    const BOOL result = machine().SHGetSpecialFolderPathW(window, buffer, folder, create);
    LastErrorKeeper keep;
    RecordingState* state = current();
    if (state && result && buffer && folder == CSIDL_PROGRAM_FILES) state->profile.system.programFiles = buffer;
    return result;
}

bool isDeviceName(const wchar_t* name) { return name && std::wstring_view(name).starts_with(L"\\\\.\\"); }

void recordPath(RecordingState& state, profile::FileSystemEntry entry) {
    for (const auto& known : state.profile.files) {
        if (sameText(known.path, entry.path)) return;
    }
    state.profile.files.push_back(std::move(entry));
}

// A status query opens the path (links followed) and reads the handle's
// information: a path that opens is recorded when its information is read, as
// the file or folder it leads to, so a link is recorded as its target.
void recordPathOpen(RecordingState& state, const wchar_t* path, HANDLE handle, DWORD error) {
    if (handle != INVALID_HANDLE_VALUE) {
        state.openPaths[handle] = path;
        return;
    }
    if (meansAbsent(error)) return;
    profile::FileSystemEntry entry;
    entry.path = path;
    entry.kind = profile::PathKind::Error;
    entry.error = error;
    recordPath(state, std::move(entry));
}

HANDLE WINAPI recordCreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE templateFile) {
    const HANDLE handle = machine().CreateFileW(name, access, share, security, disposition, flags, templateFile);
    const DWORD error = machine().GetLastError();
    LastErrorKeeper keep;
    RecordingState* state = current();
    if (!state || !name) return handle;
    if (!isDeviceName(name)) {
        recordPathOpen(*state, name, handle, error);
        return handle;
    }
    if (handle == INVALID_HANDLE_VALUE && meansAbsent(error)) return handle;

    for (const auto& known : state->profile.devices) {
        if (sameText(known.name, name)) return handle;
    }
    state->profile.devices.push_back({name, handle == INVALID_HANDLE_VALUE ? error : 0u});
    return handle;
}

BOOL WINAPI recordGetFileInformationByHandle(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION information) {
    const BOOL result = machine().GetFileInformationByHandle(handle, information);
    const DWORD error = machine().GetLastError();
    LastErrorKeeper keep;
    RecordingState* state = current();
    if (!state) return result;
    auto open = state->openPaths.find(handle);
    if (open == state->openPaths.end()) return result;
    profile::FileSystemEntry entry;
    entry.path = open->second;
    if (!result) {
        entry.kind = profile::PathKind::Error;
        entry.error = error ? error : ERROR_GEN_FAILURE;
    } else {
        entry.kind = (information->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? profile::PathKind::Directory
                                                                                : profile::PathKind::File;
    }
    recordPath(*state, std::move(entry));
    return result;
}

BOOL WINAPI recordCloseHandle(HANDLE handle) {
    if (RecordingState* state = current()) state->openPaths.erase(handle);
    return machine().CloseHandle(handle);
}

// ---- Processes --------------------------------------------------------------------

void recordProcessList(RecordingState& state) {
    const HANDLE snapshot = machine().CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = machine().Process32FirstW(snapshot, &entry); more;
         more = machine().Process32NextW(snapshot, &entry)) {
        state.profile.processes.push_back({entry.th32ProcessID, entry.szExeFile});
    }
    machine().CloseHandle(snapshot);
}

HANDLE WINAPI recordCreateToolhelp32Snapshot(DWORD flags, DWORD processId) {
    const HANDLE snapshot = machine().CreateToolhelp32Snapshot(flags, processId);
    LastErrorKeeper keep;
    RecordingState* state = current();
    if (state && (flags & TH32CS_SNAPPROCESS) && !state->processesRecorded) {
        state->processesRecorded = true;
        if (snapshot == INVALID_HANDLE_VALUE) {
            state->profile.system.toolhelpFails = true;
        } else {
            recordProcessList(*state);
        }
    }
    return snapshot;
}

// ---- Memory and power ---------------------------------------------------------------

BOOL WINAPI recordGlobalMemoryStatusEx(LPMEMORYSTATUSEX status) {
    const BOOL result = machine().GlobalMemoryStatusEx(status);
    LastErrorKeeper keep;
    if (RecordingState* state = current()) {
        state->profile.system.totalPhysicalMemory = result ? std::optional<uint64_t>(status->ullTotalPhys)
                                                           : std::nullopt;
    }
    return result;
}

BOOLEAN WINAPI recordGetPwrCapabilities(PSYSTEM_POWER_CAPABILITIES capabilities) {
    const BOOLEAN result = machine().GetPwrCapabilities(capabilities);
    LastErrorKeeper keep;
    if (RecordingState* state = current()) {
        auto& power = state->profile.system.power;
        power.callSucceeds = result == TRUE;
        if (power.callSucceeds) {
            power.systemS1 = capabilities->SystemS1;
            power.systemS2 = capabilities->SystemS2;
            power.systemS3 = capabilities->SystemS3;
            power.systemS4 = capabilities->SystemS4;
            power.thermalControl = capabilities->ThermalControl;
        }
    }
    return result;
}

// ---- Modules --------------------------------------------------------------------------

FARPROC WINAPI recordGetProcAddress(HMODULE module, LPCSTR name) {
    const FARPROC found = machine().GetProcAddress(module, name);
    LastErrorKeeper keep;
    RecordingState* state = current();
    if (!state || !name || IS_INTRESOURCE(name)) return found;
    if (module != machine().GetModuleHandleW(L"kernel32.dll")) return found;

    const std::string export_ = name;
    if (export_ == "GetSystemFirmwareTable") {
        if (!found) state->profile.firmware.functionsPresent = false;
        state->realGetSystemFirmwareTable = reinterpret_cast<platform::GetSystemFirmwareTableFn>(found);
        return found ? reinterpret_cast<FARPROC>(&recordGetSystemFirmwareTable) : nullptr;
    }
    if (export_ == "EnumSystemFirmwareTables") {
        if (!found) state->profile.firmware.functionsPresent = false;
        state->realEnumSystemFirmwareTables = reinterpret_cast<platform::EnumSystemFirmwareTablesFn>(found);
        return found ? reinterpret_cast<FARPROC>(&recordEnumSystemFirmwareTables) : nullptr;
    }
    if (export_ == "IsWow64Process") {
        state->profile.system.isWow64ProcessPresent = found != nullptr;
        state->realIsWow64Process = reinterpret_cast<platform::IsWow64ProcessFn>(found);
        return found ? reinterpret_cast<FARPROC>(&recordIsWow64Process) : nullptr;
    }
    // Any other export asked of kernel32 (Wine's own functions): present or not.
    auto& exports = state->profile.system.kernel32Exports;
    if (found && std::find(exports.begin(), exports.end(), export_) == exports.end()) exports.push_back(export_);
    return found;
}

// ---- Network ------------------------------------------------------------------------

void recordAdapters(RecordingState& state) {
    ULONG size = 0;
    ULONG result = machine().GetAdaptersInfo(nullptr, &size);
    std::vector<uint8_t> block;
    while (result == ERROR_BUFFER_OVERFLOW) {
        block.assign(size, 0);
        result = machine().GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(block.data()), &size);
    }
    if (result != ERROR_SUCCESS) {
        state.profile.system.adaptersInfoError = result;
        return;
    }
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_INFO*>(block.data()); adapter; adapter = adapter->Next) {
        profile::NetworkAdapter recorded;
        recorded.description = adapter->Description;
        recorded.addressLength = adapter->AddressLength;
        const size_t length = std::min<size_t>(adapter->AddressLength, MAX_ADAPTER_ADDRESS_LENGTH);
        recorded.address.assign(adapter->Address, adapter->Address + length);
        recorded.adapterName = adapter->AdapterName;
        state.profile.adapters.push_back(std::move(recorded));
    }
}

ULONG WINAPI recordGetAdaptersInfo(PIP_ADAPTER_INFO adapters, PULONG size) {
    const ULONG result = machine().GetAdaptersInfo(adapters, size);
    LastErrorKeeper keep;
    RecordingState* state = current();
    if (state && !state->adaptersRecorded) {
        state->adaptersRecorded = true;
        recordAdapters(*state);
    }
    return result;
}

DWORD WINAPI recordWNetGetProviderNameW(DWORD netType, LPWSTR name, LPDWORD size) {
    const DWORD result = machine().WNetGetProviderNameW(netType, name, size);
    LastErrorKeeper keep;
    RecordingState* state = current();
    if (!state || result != NO_ERROR || !name) return result;
    for (const auto& known : state->profile.networkProviders) {
        if (known.netType == netType) return result;
    }
    state->profile.networkProviders.push_back({netType, name});
    return result;
}

// ---- Windows --------------------------------------------------------------------------

std::wstring windowText(HWND window, bool className) {
    // Only a real window can be asked; a simulated machine's handles mean nothing to user32.
    if (&machine() != &platform::realWin32()) return L"";
    wchar_t text[512] = {};
    const int length = className ? GetClassNameW(window, text, 512) : GetWindowTextW(window, text, 512);
    return std::wstring(text, length > 0 ? static_cast<size_t>(length) : 0u);
}

HWND WINAPI recordFindWindowW(LPCWSTR className, LPCWSTR title) {
    const HWND window = machine().FindWindowW(className, title);
    LastErrorKeeper keep;
    RecordingState* state = current();
    if (!state || !window) return window;

    // The window found, with the half of its description the code did not give.
    profile::Window found;
    found.className = (className && !IS_INTRESOURCE(className)) ? className : windowText(window, true);
    found.title = title ? title : windowText(window, false);
    for (const auto& known : state->profile.windows) {
        if (known.className == found.className && known.title == found.title) return window;
    }
    state->profile.windows.push_back(std::move(found));
    return window;
}

// ---- SetupAPI: disk drive hardware IDs ------------------------------------------------

// The disk drive setup class, {4D36E967-E325-11CE-BFC1-08002BE10318}.
constexpr GUID kDiskDriveClass = {0x4d36e967, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

std::vector<std::wstring> splitMultiString(const std::vector<uint8_t>& bytes) {
    std::vector<std::wstring> strings;
    const auto* text = reinterpret_cast<const wchar_t*>(bytes.data());
    const size_t count = bytes.size() / sizeof(wchar_t);
    size_t start = 0;
    for (size_t i = 0; i < count; ++i) {
        if (text[i] != L'\0') continue;
        if (i == start) break;  // the empty string that ends the list
        strings.emplace_back(text + start, i - start);
        start = i + 1;
    }
    if (start < count && text[count - 1] != L'\0') strings.emplace_back(text + start, count - start);
    return strings;
}

void recordDiskDrives(RecordingState& state, const GUID* setupClass, PCWSTR enumerator, DWORD flags) {
    const HDEVINFO set = machine().SetupDiGetClassDevsW(setupClass, enumerator, nullptr, flags);
    if (set == INVALID_HANDLE_VALUE) return;
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!machine().SetupDiEnumDeviceInfo(set, index, &device)) break;
        profile::DiskDrive drive;
        DWORD type = 0;
        DWORD size = 0;
        machine().SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, &type, nullptr, 0, &size);
        if (size > 0) {
            std::vector<uint8_t> ids(size, 0);
            if (machine().SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, &type, ids.data(), size,
                                                            &size)) {
                drive.hardwareIds = splitMultiString(ids);
            }
        }
        state.profile.diskDrives.push_back(std::move(drive));
    }
    machine().SetupDiDestroyDeviceInfoList(set);
}

HDEVINFO WINAPI recordSetupDiGetClassDevsW(const GUID* setupClass, PCWSTR enumerator, HWND parent, DWORD flags) {
    const HDEVINFO set = machine().SetupDiGetClassDevsW(setupClass, enumerator, parent, flags);
    LastErrorKeeper keep;
    RecordingState* state = current();
    if (state && setupClass && IsEqualGUID(*setupClass, kDiskDriveClass)) {
        state->diskDriveSet = set;
        if (!state->diskDrivesRecorded) {
            state->diskDrivesRecorded = true;
            recordDiskDrives(*state, setupClass, enumerator, flags);
        }
    }
    return set;
}

BOOL WINAPI recordSetupDiDestroyDeviceInfoList(HDEVINFO set) {
    const BOOL result = machine().SetupDiDestroyDeviceInfoList(set);
    LastErrorKeeper keep;
    // The error the walk leaves behind, which the disk check reads next.
    RecordingState* state = current();
    if (state && set != INVALID_HANDLE_VALUE && set == state->diskDriveSet) {
        state->diskDriveSet = INVALID_HANDLE_VALUE;
        const DWORD error = machine().GetLastError();
        if (error != ERROR_SUCCESS && error != ERROR_NO_MORE_ITEMS) state->profile.system.setupDiError = error;
    }
    return result;
}

// ---- COM start-up -------------------------------------------------------------------

HRESULT WINAPI recordCoInitializeEx(LPVOID reserved, DWORD flags) {
    const HRESULT result = machine().CoInitializeEx(reserved, flags);
    LastErrorKeeper keep;
    RecordingState* state = current();
    if (state && state->firstCall("CoInitializeEx") && FAILED(result)) {
        state->profile.wmi.faults.coInitializeEx = result;
    }
    return result;
}

HRESULT WINAPI recordCoInitializeSecurity(PSECURITY_DESCRIPTOR descriptor, LONG services,
                                          SOLE_AUTHENTICATION_SERVICE* authentication, void* reserved1, DWORD level,
                                          DWORD impersonation, void* list, DWORD capabilities, void* reserved3) {
    const HRESULT result = machine().CoInitializeSecurity(descriptor, services, authentication, reserved1, level,
                                                          impersonation, list, capabilities, reserved3);
    LastErrorKeeper keep;
    RecordingState* state = current();
    if (state && state->firstCall("CoInitializeSecurity") && FAILED(result)) {
        state->profile.wmi.faults.coInitializeSecurity = result;
    }
    return result;
}

HRESULT WINAPI recordCoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID interfaceId,
                                      LPVOID* object) {
    const HRESULT result = machine().CoCreateInstance(classId, outer, context, interfaceId, object);
    LastErrorKeeper keep;
    RecordingState* state = current();
    if (!state || !IsEqualCLSID(classId, CLSID_WbemLocator)) return result;
    if (FAILED(result)) {
        if (state->firstCall("CoCreateInstance")) state->profile.wmi.faults.createLocator = result;
        return result;
    }
    state->firstCall("CoCreateInstance");
    if (object && *object && IsEqualIID(interfaceId, IID_IWbemLocator)) {
        *object = wrapLocator(static_cast<IWbemLocator*>(*object));
    }
    return result;
}

HRESULT WINAPI recordCoSetProxyBlanket(IUnknown* proxy, DWORD authentication, DWORD authorization, OLECHAR* principal,
                                       DWORD level, DWORD impersonation, RPC_AUTH_IDENTITY_HANDLE identity,
                                       DWORD capabilities) {
    // The blanket belongs on the real proxy, not on the wrapper that stands for it.
    const HRESULT result = machine().CoSetProxyBlanket(realProxyOf(proxy), authentication, authorization, principal,
                                                       level, impersonation, identity, capabilities);
    LastErrorKeeper keep;
    RecordingState* state = current();
    if (state && state->firstCall("CoSetProxyBlanket") && FAILED(result)) {
        state->profile.wmi.faults.setProxyBlanket = result;
    }
    return result;
}

platform::Win32Api makeRecordingApi(const platform::Win32Api& inner) {
    // Everything not overridden below reaches the machine unrecorded: heap,
    // text, handles and automation calls tell nothing about it.
    platform::Win32Api api = inner;
    api.RegOpenKeyExW = recordRegOpenKeyExW;
    api.RegQueryValueExW = recordRegQueryValueExW;
    api.RegCloseKey = recordRegCloseKey;
    api.GetWindowsDirectoryW = recordGetWindowsDirectoryW;
    api.ExpandEnvironmentStringsW = recordExpandEnvironmentStringsW;
    api.SHGetSpecialFolderPathW = recordSHGetSpecialFolderPathW;
    api.CreateFileW = recordCreateFileW;
    api.GetFileInformationByHandle = recordGetFileInformationByHandle;
    api.CloseHandle = recordCloseHandle;
    api.CreateToolhelp32Snapshot = recordCreateToolhelp32Snapshot;
    api.GlobalMemoryStatusEx = recordGlobalMemoryStatusEx;
    api.GetPwrCapabilities = recordGetPwrCapabilities;
    api.GetProcAddress = recordGetProcAddress;
    api.GetAdaptersInfo = recordGetAdaptersInfo;
    api.WNetGetProviderNameW = recordWNetGetProviderNameW;
    api.FindWindowW = recordFindWindowW;
    api.SetupDiGetClassDevsW = recordSetupDiGetClassDevsW;
    api.SetupDiDestroyDeviceInfoList = recordSetupDiDestroyDeviceInfoList;
    api.CoInitializeEx = recordCoInitializeEx;
    api.CoInitializeSecurity = recordCoInitializeSecurity;
    api.CoCreateInstance = recordCoCreateInstance;
    api.CoSetProxyBlanket = recordCoSetProxyBlanket;
    return api;
}

}  // namespace

RecordingState* current() { return g_current; }

bool sameText(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::towlower(a[i]) != std::towlower(b[i])) return false;
    }
    return true;
}

profile::RegistryKey& RecordingState::registryKey(const std::wstring& root, const std::wstring& path) {
    for (auto& key : profile.registry) {
        if (key.root == root && sameText(key.path, path)) return key;
    }
    profile::RegistryKey key;
    key.root = root;
    key.path = path;
    profile.registry.push_back(std::move(key));
    return profile.registry.back();
}

profile::WmiClass& RecordingState::wmiClass(const std::wstring& name) {
    for (auto& wmiClass : profile.wmi.classes) {
        if (sameText(wmiClass.name, name)) return wmiClass;
    }
    profile::WmiClass wmiClass;
    wmiClass.name = name;
    profile.wmi.classes.push_back(std::move(wmiClass));
    return profile.wmi.classes.back();
}

}  // namespace detail

MachineRecorder::MachineRecorder(const platform::Win32Api& inner) : state_(std::make_unique<detail::RecordingState>()) {
    state_->inner = &inner;
    state_->api = detail::makeRecordingApi(inner);
}

MachineRecorder::~MachineRecorder() = default;

const platform::Win32Api& MachineRecorder::api() const { return state_->api; }

MachineRecorder::Binding::Binding(MachineRecorder& recorder) : previous_(detail::g_current), seam_(recorder.api()) {
    detail::g_current = recorder.state_.get();
}

MachineRecorder::Binding::~Binding() { detail::g_current = previous_; }

std::unique_ptr<MachineRecorder::Binding> MachineRecorder::bind() { return std::make_unique<Binding>(*this); }

const profile::MachineProfile& MachineRecorder::profile() const { return state_->profile; }

profile::MachineProfile MachineRecorder::takeProfile() { return std::move(state_->profile); }

bool MachineRecorder::wmiConnectionLost() const { return state_->wmiConnectionLost; }

void MachineRecorder::clearWmiConnectionLost() { state_->wmiConnectionLost = false; }

}  // namespace Corvane::capture
