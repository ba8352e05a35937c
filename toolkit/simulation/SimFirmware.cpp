// Raw firmware tables: 'RSMB' table 0 is the SMBIOS data, 'ACPI' tables are
// found by the identifier EnumSystemFirmwareTables lists.
#include <algorithm>
#include <cstring>

#include "toolkit/simulation/SimState.h"

namespace Corvane::simulated::detail {
namespace {

constexpr DWORD kRsmb = 0x52534D42;
constexpr DWORD kAcpi = 0x41435049;

// "ACPI", "RSMB": the provider's four characters, first character in the most significant byte.
std::string providerName(DWORD provider) {
    std::string name;
    for (int shift = 24; shift >= 0; shift -= 8) {
        char c = static_cast<char>((provider >> shift) & 0xFF);
        name.push_back(c >= 0x20 && c < 0x7F ? c : '?');
    }
    return name;
}

}  // namespace

UINT WINAPI simGetSystemFirmwareTable(DWORD provider, DWORD tableId, PVOID buffer, DWORD size) {
    Session s("GetSystemFirmwareTable", providerName(provider) + " " + hexArgument(tableId));
    const auto& firmware = s.m.profile.firmware;
    const std::vector<uint8_t>* table = nullptr;
    if (provider == kRsmb) {
        if (tableId == 0 && firmware.rawSmbios) table = &*firmware.rawSmbios;
    } else if (provider == kAcpi) {
        for (const auto& candidate : firmware.acpiTables)
            if (candidate.id == tableId) {
                table = &candidate.data;
                break;
            }
    } else {
        s.m.setLastError(ERROR_INVALID_FUNCTION);
        return 0;
    }
    if (!table) {
        // A machine without ACPI tables has no ACPI provider: Wine answers so.
        s.m.setLastError(provider == kAcpi && firmware.acpiTables.empty() ? ERROR_INVALID_FUNCTION : ERROR_NOT_FOUND);
        return 0;
    }
    auto needed = static_cast<UINT>(table->size());
    if (!buffer || size < needed) {
        s.m.setLastError(ERROR_INSUFFICIENT_BUFFER);
        return needed;  // the size the caller has to provide
    }
    if (s.m.faults.firmwareSecondCallFails) {
        s.m.setLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::memcpy(buffer, table->data(), table->size());
    return needed;
}

UINT WINAPI simEnumSystemFirmwareTables(DWORD provider, PVOID buffer, DWORD size) {
    Session s("EnumSystemFirmwareTables", providerName(provider));
    const auto& firmware = s.m.profile.firmware;
    std::vector<uint8_t> ids;
    auto appendId = [&](uint32_t id) {
        for (int i = 0; i < 4; ++i) ids.push_back(static_cast<uint8_t>(id >> (8 * i)));
    };
    if (provider == kAcpi) {
        for (const auto& table : firmware.acpiTables) appendId(table.id);
    } else if (provider == kRsmb) {
        if (firmware.rawSmbios) appendId(0);
    } else {
        s.m.setLastError(ERROR_INVALID_FUNCTION);
        return 0;
    }
    if (provider == kAcpi && firmware.acpiEnumerationResult) {
        // A machine that reports a count of its own: copy what fits of the real list.
        if (buffer) std::memcpy(buffer, ids.data(), std::min<size_t>(ids.size(), size));
        return *firmware.acpiEnumerationResult;
    }
    auto needed = static_cast<UINT>(ids.size());
    if (buffer && size >= needed) std::memcpy(buffer, ids.data(), ids.size());
    return needed;
}

}  // namespace Corvane::simulated::detail
