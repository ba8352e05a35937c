// Peak memory of a replay against the size of its profile: a large valid
// profile is read and replayed as `corvane-vmd replay` does, and the growth of
// the peak working set is reported as a multiple of the file's size.
//
//   reliability_replay_memory FILE [LIMIT]    fails when the multiple passes LIMIT (default 16)

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
    std::printf("{\"fileBytes\": %.0f, \"peakGrowthBytes\": %llu, \"multiple\": %.1f, \"limit\": %.1f, \"verdict\": %d}\n", size,
                static_cast<unsigned long long>(peak - before), multiple, limit, explanation.verdict.type);
    return multiple <= limit ? 0 : 1;
}
