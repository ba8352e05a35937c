#pragma once
// Small stateless probes of the running system shared by the detectors.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "win32/Win32Api.h"

namespace Corvane::platform {

inline constexpr DWORD kProviderRsmb = 0x52534D42;  // 'RSMB': raw SMBIOS data
inline constexpr DWORD kProviderAcpi = 0x41435049;  // 'ACPI'
inline constexpr DWORD kAcpiIdListBytes = 4096;     // the identifier list every ACPI check uses

// The adapter records GetAdaptersInfo wrote, in a block of the process heap.
class NetworkAdapterList {
public:
    NetworkAdapterList() = default;
    ~NetworkAdapterList();
    NetworkAdapterList(NetworkAdapterList&& other) noexcept;
    NetworkAdapterList& operator=(NetworkAdapterList&& other) noexcept;
    NetworkAdapterList(const NetworkAdapterList&) = delete;
    NetworkAdapterList& operator=(const NetworkAdapterList&) = delete;

    IP_ADAPTER_INFO* adapters = nullptr;  // owned; HeapFree on destruction
    bool valid = false;                   // the last GetAdaptersInfo returned ERROR_SUCCESS

    // Walkable: memory held and the listing succeeded.
    bool usable() const { return adapters != nullptr && valid; }
};

NetworkAdapterList getNetworkAdapters();

// Process identifier of the first process whose executable name equals exeName
// exactly (case-sensitive), or 0.
DWORD isProcessRunning(const std::wstring& exeName);

// True when this is a 32-bit process on 64-bit Windows.  Cached once known,
// for as long as the Win32 binding it came from lasts: a machine bound later
// is asked again (win32BindingGeneration()).
bool isRunningUnderWow64();

struct FreeDeleter {
    void operator()(void* block) const { std::free(block); }
};
using FirmwareBuffer = std::unique_ptr<uint8_t, FreeDeleter>;

// The raw table, or null.  On success `size` is the table's length.
uint8_t* getFirmwareTable(DWORD provider, DWORD tableId, DWORD& size);

// What EnumSystemFirmwareTables('ACPI') returns into a 4096-byte list, or -1
// when the function does not exist.
int enumerateFirmwareTables(void* tableIds);

// Switches WoW64 file-system redirection off for its lifetime (32-bit
// processes on 64-bit Windows only).
class Wow64RedirectionGuard {
public:
    Wow64RedirectionGuard();
    ~Wow64RedirectionGuard();
    Wow64RedirectionGuard(const Wow64RedirectionGuard&) = delete;
    Wow64RedirectionGuard& operator=(const Wow64RedirectionGuard&) = delete;

private:
    PVOID savedValue = nullptr;
};

// Offset of the first occurrence of the pattern at which all its bytes lie
// inside the data, or -1.
long long findBytes(const uint8_t* data, size_t size, const uint8_t* pattern, size_t patternSize);

}  // namespace Corvane::platform
