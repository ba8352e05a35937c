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

// Handles counted one by one, for systems whose GetProcessHandleCount answers
// 0 (Wine's does): every handle value the process may hold is asked for its
// flags, which only a handle the process holds has.
uint32_t probeHandleCount() {
    constexpr uintptr_t kHighestProbedValue = 0x10000;
    uint32_t count = 0;
    for (uintptr_t value = 4; value <= kHighestProbedValue; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
    }
    return count;
}

// Committed private memory summed over the address space, for systems whose
// counters leave PrivateUsage at 0 (Wine's do).
uint64_t committedPrivateBytes() {
    uint64_t total = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (const char* address = nullptr; VirtualQuery(address, &region, sizeof region) == sizeof region;
         address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        if (region.RegionSize == 0) break;
    }
    return total;
}

// Bytes in use in every heap of the process: what malloc, new and HeapAlloc
// handed out and nobody gave back.
uint64_t heapBytesInUse() {
    HANDLE heaps[256];
    const DWORD count = GetProcessHeaps(256, heaps);
    uint64_t total = 0;
    for (DWORD i = 0; i < count && i < 256; ++i) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
        }
        HeapUnlock(heaps[i]);
    }
    return total;
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
    if (memory.privateBytes == 0) memory.privateBytes = committedPrivateBytes();
    DWORD handles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &handles)) memory.handles = handles;
    if (memory.handles == 0) memory.handles = probeHandleCount();
    memory.threads = threadCountOfThisProcess();
    memory.heapBytes = heapBytesInUse();
    return memory;
}

nlohmann::json toJson(const ProcessMemory& memory) {
    return {{"workingSetBytes", memory.workingSet},
            {"peakWorkingSetBytes", memory.peakWorkingSet},
            {"privateBytes", memory.privateBytes},
            {"heapBytesInUse", memory.heapBytes},
            {"handles", memory.handles},
            {"threads", memory.threads}};
}

}  // namespace corvane_bench
