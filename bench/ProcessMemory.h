#pragma once
// What the current process holds: working set, its peak, private bytes, handles, threads.

#include <cstdint>

#include <nlohmann/json.hpp>

namespace corvane_bench {

struct ProcessMemory {
    uint64_t workingSet = 0;
    uint64_t peakWorkingSet = 0;
    uint64_t privateBytes = 0;
    uint32_t handles = 0;
    uint32_t threads = 0;
};

ProcessMemory currentProcessMemory();
nlohmann::json toJson(const ProcessMemory& memory);

}  // namespace corvane_bench
