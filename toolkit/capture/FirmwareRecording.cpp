// The firmware table functions and IsWow64Process, which the library resolves
// by name from kernel32: GetProcAddress hands out these stand-ins, which call
// the real function and record the machine's whole answer.

#include <cstring>
#include <vector>

#include "platform/SystemProbes.h"
#include "toolkit/capture/RecordingState.h"

namespace Corvane::capture::detail {
namespace {

// The whole table, whatever buffer the code offered; empty when the call fails.
std::vector<uint8_t> readWholeTable(platform::GetSystemFirmwareTableFn read, DWORD provider, DWORD tableId) {
    std::vector<uint8_t> table;
    UINT size = read(provider, tableId, nullptr, 0);
    while (size > table.size()) {
        table.assign(size, 0);
        size = read(provider, tableId, table.data(), static_cast<DWORD>(table.size()));
    }
    table.resize(size);
    return table;
}

void recordSmbios(RecordingState& state) {
    if (!state.realGetSystemFirmwareTable) return;
    std::vector<uint8_t> table = readWholeTable(state.realGetSystemFirmwareTable, platform::kProviderRsmb, 0);
    if (table.empty()) {
        state.profile.firmware.rawSmbios.reset();
    } else {
        state.profile.firmware.rawSmbios = std::move(table);
    }
}

void recordAcpiTables(RecordingState& state) {
    if (!state.realEnumSystemFirmwareTables) return;
    auto enumerate = state.realEnumSystemFirmwareTables;
    std::vector<uint8_t> ids;
    UINT size = enumerate(platform::kProviderAcpi, nullptr, 0);
    while (size > ids.size()) {
        ids.assign(size, 0);
        size = enumerate(platform::kProviderAcpi, ids.data(), static_cast<DWORD>(ids.size()));
    }
    ids.resize(size);

    auto& firmware = state.profile.firmware;
    firmware.acpiTables.clear();
    for (size_t offset = 0; offset + 4 <= ids.size(); offset += 4) {
        DWORD id = 0;
        std::memcpy(&id, ids.data() + offset, 4);
        state.addAcpiTable(id);
    }
    // A count the tables listed do not explain (0 from a stubbed function, a
    // ragged byte count) is kept as the machine's own answer.
    if (size != firmware.acpiTables.size() * 4) firmware.acpiEnumerationResult = size;
}

}  // namespace

void RecordingState::addAcpiTable(DWORD id) {
    profile::FirmwareTable table;
    table.id = id;
    // A listed table that cannot be read is kept with no bytes.
    if (realGetSystemFirmwareTable)
        table.data = readWholeTable(realGetSystemFirmwareTable, platform::kProviderAcpi, id);
    profile.firmware.acpiTables.push_back(std::move(table));
}

UINT WINAPI recordGetSystemFirmwareTable(DWORD provider, DWORD tableId, PVOID buffer, DWORD size) {
    RecordingState* state = current();
    if (!state || !state->realGetSystemFirmwareTable) return 0;
    const UINT result = state->realGetSystemFirmwareTable(provider, tableId, buffer, size);
    LastErrorKeeper keep;
    if (provider == platform::kProviderRsmb && tableId == 0 && !state->smbiosRecorded) {
        state->smbiosRecorded = true;
        recordSmbios(*state);
    } else if (provider == platform::kProviderAcpi && !state->acpiRecorded) {
        // A table asked without an enumeration first.
        bool known = false;
        for (const auto& table : state->profile.firmware.acpiTables) known = known || table.id == tableId;
        if (!known) state->addAcpiTable(tableId);
    }
    return result;
}

UINT WINAPI recordEnumSystemFirmwareTables(DWORD provider, PVOID buffer, DWORD size) {
    RecordingState* state = current();
    if (!state || !state->realEnumSystemFirmwareTables) return 0;
    const UINT result = state->realEnumSystemFirmwareTables(provider, buffer, size);
    LastErrorKeeper keep;
    if (provider == platform::kProviderAcpi && !state->acpiRecorded) {
        state->acpiRecorded = true;
        recordAcpiTables(*state);
    }
    return result;
}

BOOL WINAPI recordIsWow64Process(HANDLE process, PBOOL wow64) {
    RecordingState* state = current();
    if (!state || !state->realIsWow64Process) return FALSE;
    const BOOL result = state->realIsWow64Process(process, wow64);
    LastErrorKeeper keep;
    state->profile.system.isWow64ProcessFails = !result;
    if (result && wow64) state->profile.system.wow64 = *wow64 != FALSE;
    return result;
}

}  // namespace Corvane::capture::detail
