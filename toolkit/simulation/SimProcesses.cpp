// Toolhelp process snapshots over the profile's process list.
#include <algorithm>
#include <cstring>

#include "toolkit/simulation/SimState.h"

namespace Corvane::simulated::detail {
namespace {

BOOL fillEntry(MachineState& m, HANDLE snapshot, LPPROCESSENTRY32W entry, bool first) {
    auto* handle = m.findHandle(reinterpret_cast<uintptr_t>(snapshot), HandleKind::Snapshot);
    if (!handle) {
        m.setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!entry || entry->dwSize != sizeof(PROCESSENTRY32W)) {
        m.setLastError(ERROR_INSUFFICIENT_BUFFER);  // as Wine answers an entry too short
        return FALSE;
    }
    if (first) handle->cursor = 0;
    if (handle->cursor >= handle->processes.size()) {
        m.setLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    const auto& process = handle->processes[handle->cursor++];
    DWORD size = entry->dwSize;
    std::memset(entry, 0, sizeof *entry);
    entry->dwSize = size;
    entry->th32ProcessID = process.pid;
    entry->cntThreads = 1;
    entry->th32ParentProcessID = process.pid > 4 ? 4 : 0;
    entry->pcPriClassBase = 8;
    auto n = std::min<size_t>(process.exeName.size(), MAX_PATH - 1);
    std::copy_n(process.exeName.begin(), n, entry->szExeFile);
    entry->szExeFile[n] = 0;
    return TRUE;
}

}  // namespace

HANDLE WINAPI simCreateToolhelp32Snapshot(DWORD flags, DWORD processId) {
    Session s("CreateToolhelp32Snapshot");
    if (s.m.profile.system.toolhelpFails) {
        s.m.setLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    HandleEntry entry{HandleKind::Snapshot, "toolhelp snapshot"};
    if (flags & TH32CS_SNAPPROCESS) entry.processes = s.m.profile.processes;
    return reinterpret_cast<HANDLE>(s.m.addHandle(std::move(entry)));
}

BOOL WINAPI simProcess32FirstW(HANDLE snapshot, LPPROCESSENTRY32W entry) {
    Session s("Process32FirstW");
    return fillEntry(s.m, snapshot, entry, true);
}

BOOL WINAPI simProcess32NextW(HANDLE snapshot, LPPROCESSENTRY32W entry) {
    Session s("Process32NextW");
    return fillEntry(s.m, snapshot, entry, false);
}

}  // namespace Corvane::simulated::detail
