#include "platform/SystemProbes.h"

#include <cstring>
#include <optional>
#include <utility>

#include "diagnostics/Logger.h"

namespace Corvane::platform {
namespace {

constexpr DWORD kAdapterRecordBytes = sizeof(IP_ADAPTER_INFO);  // 704 on 64-bit Windows
constexpr DWORD kFirstFirmwareBufferBytes = 4096;

// The WoW64 answer and the binding that gave it: a process keeps one answer
// per machine, and a rebinding (a replay, a survey's next profile) starts
// without one.
struct Wow64Answer {
    unsigned binding;
    bool wow64;
};
std::optional<Wow64Answer> wow64Answer;

// Kernel32 loaded for the length of one lookup, released on every way out.
class Kernel32Reference {
public:
    Kernel32Reference() : module_(win32().LoadLibraryA("Kernel32.dll")) {}
    ~Kernel32Reference() {
        if (module_) win32().FreeLibrary(module_);
    }
    Kernel32Reference(const Kernel32Reference&) = delete;
    Kernel32Reference& operator=(const Kernel32Reference&) = delete;

    template <typename Function>
    Function find(const char* name) const {
        return module_ ? reinterpret_cast<Function>(win32().GetProcAddress(module_, name)) : nullptr;
    }

private:
    HMODULE module_;
};

// Toolhelp snapshot closed on every way out.
class SnapshotHandle {
public:
    explicit SnapshotHandle(HANDLE handle) : handle_(handle) {}
    ~SnapshotHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) win32().CloseHandle(handle_);
    }
    SnapshotHandle(const SnapshotHandle&) = delete;
    SnapshotHandle& operator=(const SnapshotHandle&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

}  // namespace

NetworkAdapterList::~NetworkAdapterList() {
    if (adapters) win32().HeapFree(win32().GetProcessHeap(), 0, adapters);
}

NetworkAdapterList::NetworkAdapterList(NetworkAdapterList&& other) noexcept
    : adapters(std::exchange(other.adapters, nullptr)), valid(std::exchange(other.valid, false)) {}

NetworkAdapterList& NetworkAdapterList::operator=(NetworkAdapterList&& other) noexcept {
    if (this != &other) {
        if (adapters) win32().HeapFree(win32().GetProcessHeap(), 0, adapters);
        adapters = std::exchange(other.adapters, nullptr);
        valid = std::exchange(other.valid, false);
    }
    return *this;
}

NetworkAdapterList getNetworkAdapters() {
    const auto& api = win32();
    NetworkAdapterList list;
    list.adapters = static_cast<IP_ADAPTER_INFO*>(api.HeapAlloc(api.GetProcessHeap(), 0, kAdapterRecordBytes));
    if (!list.adapters) {
        Logger::log("Failed to allocate memory needed to call GetAdaptersinfo.");
        return list;
    }

    ULONG length = kAdapterRecordBytes;
    ULONG result = api.GetAdaptersInfo(list.adapters, &length);
    if (result == ERROR_BUFFER_OVERFLOW) {
        void* larger = api.HeapAlloc(api.GetProcessHeap(), 0, length);
        api.HeapFree(api.GetProcessHeap(), 0, list.adapters);
        list.adapters = static_cast<IP_ADAPTER_INFO*>(larger);
        if (!list.adapters) {
            Logger::log("Failed to allocate memory needed to call GetAdaptersinfo.");
            return list;
        }
        result = api.GetAdaptersInfo(list.adapters, &length);
    }
    list.valid = result == ERROR_SUCCESS;
    return list;
}

DWORD isProcessRunning(const std::wstring& exeName) {
    const auto& api = win32();
    SnapshotHandle snapshot(api.CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot.get() == INVALID_HANDLE_VALUE) {
        Logger::log("Failed to call CreateToolhelp32Snapshot");
        return 0;
    }

    PROCESSENTRY32W entry;
    std::memset(&entry, 0, sizeof entry);
    entry.dwSize = sizeof entry;
    if (!api.Process32FirstW(snapshot.get(), &entry)) {
        Logger::log("Failed to call Process32First");
        return 0;
    }
    do {
        if (exeName == entry.szExeFile) return entry.th32ProcessID;  // exact, case included
    } while (api.Process32NextW(snapshot.get(), &entry));
    return 0;
}

bool isRunningUnderWow64() {
    const unsigned binding = win32BindingGeneration();
    if (wow64Answer && wow64Answer->binding == binding) return wow64Answer->wow64;

    Kernel32Reference kernel32;
    auto isWow64Process = kernel32.find<IsWow64ProcessFn>("IsWow64Process");
    if (!isWow64Process) return false;  // not cached: the next call asks again

    BOOL wow64 = FALSE;
    if (!isWow64Process(win32().GetCurrentProcess(), &wow64)) {
        Logger::log("Failed to check WoW64.");
    }
    wow64Answer = Wow64Answer{binding, wow64 != FALSE};
    return wow64Answer->wow64;
}

uint8_t* getFirmwareTable(DWORD provider, DWORD tableId, DWORD& size) {
    Kernel32Reference kernel32;
    auto getSystemFirmwareTable = kernel32.find<GetSystemFirmwareTableFn>("GetSystemFirmwareTable");
    if (!getSystemFirmwareTable) return nullptr;

    auto* buffer = static_cast<uint8_t*>(std::calloc(kFirstFirmwareBufferBytes, 1));
    if (!buffer) return nullptr;

    const UINT length = getSystemFirmwareTable(provider, tableId, buffer, kFirstFirmwareBufferBytes);
    if (length == 0) {
        Logger::log("First call of GetSystemFirmwareTable is failed.");
        std::free(buffer);
        return nullptr;
    }
    if (length > kFirstFirmwareBufferBytes) {
        // Never hand back the small buffer with the larger length.
        auto* grown = static_cast<uint8_t*>(std::realloc(buffer, length));
        if (!grown) {
            std::free(buffer);
            return nullptr;
        }
        buffer = grown;
        std::memset(buffer, 0, length);
        if (getSystemFirmwareTable(provider, tableId, buffer, length) == 0) {
            Logger::log("Second call os GetSystemFirmwareTable is failed.");
            std::free(buffer);
            return nullptr;
        }
    }
    size = length;
    return buffer;
}

int enumerateFirmwareTables(void* tableIds) {
    Kernel32Reference kernel32;
    auto enumSystemFirmwareTables = kernel32.find<EnumSystemFirmwareTablesFn>("EnumSystemFirmwareTables");
    if (!enumSystemFirmwareTables) return -1;
    return static_cast<int>(enumSystemFirmwareTables(kProviderAcpi, tableIds, kAcpiIdListBytes));
}

Wow64RedirectionGuard::Wow64RedirectionGuard() {
    if (isRunningUnderWow64()) win32().Wow64DisableWow64FsRedirection(&savedValue);
}

Wow64RedirectionGuard::~Wow64RedirectionGuard() {
    if (isRunningUnderWow64()) win32().Wow64RevertWow64FsRedirection(savedValue);
}

long long findBytes(const uint8_t* data, size_t size, const uint8_t* pattern, size_t patternSize) {
    if (!data || patternSize == 0 || size < patternSize) return -1;
    for (size_t offset = 0; offset + patternSize <= size; ++offset) {
        if (std::memcmp(data + offset, pattern, patternSize) == 0) return static_cast<long long>(offset);
    }
    return -1;
}

}  // namespace Corvane::platform
