// Peak memory of a replay against the size of its profile: a large valid
// profile is read and replayed as `corvane-vmd replay` does, and the growth of
// the peak working set is reported as a multiple of the file's size.  Then the
// heap after many small replays: a survey runs thousands in one process, and a
// few bytes left by each scatter through the heap.
//
//   reliability_replay_memory FILE [LIMIT]    fails when the multiple passes LIMIT (default 16),
//                                             or when the small replays leave blocks behind

#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/ProcessMemory.h"
#include "toolkit/capture/Replay.h"
#include "toolkit/profile/ProfileJson.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const std::filesystem::path file(argv[1]);
    const double limit = argc > 2 ? std::stod(argv[2]) : 16.0;
    const uint64_t before = corvane_bench::currentProcessMemory().peakWorkingSet;
    const auto explanation = Corvane::capture::replayMachine(Corvane::profile::loadProfileFile(file));
    const uint64_t peak = corvane_bench::currentProcessMemory().peakWorkingSet;
    const double size = static_cast<double>(std::filesystem::file_size(file));
    const double multiple = static_cast<double>(peak - before) / size;
    constexpr int kSmallReplays = 200;
    for (int i = 0; i < 3; ++i) Corvane::capture::replayMachine({});
    const auto heapBefore = static_cast<long long>(corvane_bench::currentProcessMemory().heapBytes);
    for (int i = 0; i < kSmallReplays; ++i) Corvane::capture::replayMachine({});
    const long long heapGrowth = static_cast<long long>(corvane_bench::currentProcessMemory().heapBytes) - heapBefore;
    std::printf(
        "{\"fileBytes\": %.0f, \"peakGrowthBytes\": %llu, \"multiple\": %.1f, \"limit\": %.1f, \"verdict\": %d, "
        "\"heapGrowthAfterSmallReplays\": %lld}\n",
        size, static_cast<unsigned long long>(peak - before), multiple, limit, explanation.verdict.type, heapGrowth);
    return multiple <= limit && heapGrowth < kSmallReplays * 8 ? 0 : 1;
}
