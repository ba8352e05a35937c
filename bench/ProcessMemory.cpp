#include "bench/ProcessMemory.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

namespace corvane_bench {
namespace {

uint32_t threadCountOfThisProcess() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    uint32_t threads = 0;
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == self) {
            threads = entry.cntThreads;
            break;
        }
    }
    CloseHandle(snapshot);
    return threads;
}

}  // namespace

ProcessMemory currentProcessMemory() {
    ProcessMemory memory;
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters)) {
        memory.workingSet = counters.WorkingSetSize;
        memory.peakWorkingSet = counters.PeakWorkingSetSize;
        memory.privateBytes = counters.PrivateUsage;
    }
    DWORD handles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &handles)) memory.handles = handles;
    memory.threads = threadCountOfThisProcess();
    return memory;
}

nlohmann::json toJson(const ProcessMemory& memory) {
    return {{"workingSetBytes", memory.workingSet},
            {"peakWorkingSetBytes", memory.peakWorkingSet},
            {"privateBytes", memory.privateBytes},
            {"handles", memory.handles},
            {"threads", memory.threads}};
}

}  // namespace corvane_bench
