#pragma once
// What the current process holds: working set, its peak, private bytes, heap
// in use, handles, threads.  Where the system leaves a counter at 0 (Wine
// does for handles and private bytes) it is measured another way.

#include <cstdint>

#include <nlohmann/json.hpp>

namespace corvane_bench {

struct ProcessMemory {
    uint64_t workingSet = 0;
    uint64_t peakWorkingSet = 0;
    uint64_t privateBytes = 0;  // committed private memory
    uint64_t heapBytes = 0;     // busy blocks of every heap
    uint32_t handles = 0;
    uint32_t threads = 0;
};

ProcessMemory currentProcessMemory();
nlohmann::json toJson(const ProcessMemory& memory);

}  // namespace corvane_bench
