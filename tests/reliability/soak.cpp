// Soak: many detections in one process through the shipped DLL, as a host
// makes them.  After a warm-up the process's handles, threads, private bytes
// and heap in use must stay flat; whatever grows is reported, and growth
// beyond a small bound fails.  Memory is compared between the halfway point
// and the end, so that a heap that settles early is not taken for a leak.
//
//   reliability_soak DLL [calls]     (CORVANE_SOAK_CALLS overrides the default;
//                                     CORVANE_SOAK_CALLS=10000 for the full soak)
//
// A few more detections follow with the log switched on, whose handles must
// stay flat as well.
//
// The default count keeps the run inside the suite's time budget: under Wine
// one detection takes 50 to 100 ms on plain Wine (docs/performance.md), so
// the full 10,000 take a quarter of an hour.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/ProcessMemory.h"
#include "bench/ShippedLibrary.h"
#include "bench/Stopwatch.h"

namespace {

using corvane_bench::ProcessMemory;

constexpr int kDefaultCalls = 400;
constexpr int kWarmUpCalls = 10;
constexpr int kLoggedCalls = 10;  // with the log on, after the others

// What may grow without counting as a leak: a handle or thread that Wine's
// own services open lazily, and memory that settles in blocks.  A leak of one
// handle, or of a few hundred bytes per detection, goes beyond them within
// the default count.
constexpr long long kHandleSlack = 2;
constexpr long long kThreadSlack = 1;
constexpr long long kPrivateBytesSlack = 512 * 1024;
constexpr long long kHeapBytesSlack = 16 * 1024;

int callsWanted(int argc, wchar_t** argv) {
    if (const char* fromEnvironment = std::getenv("CORVANE_SOAK_CALLS")) return std::atoi(fromEnvironment);
    if (argc > 2) return _wtoi(argv[2]);
    return kDefaultCalls;
}

void print(const char* moment, const ProcessMemory& memory) {
    std::printf("%-16s handles %4u  threads %3u  private bytes %10llu  heap in use %9llu  working set %10llu\n", moment,
                memory.handles, memory.threads, static_cast<unsigned long long>(memory.privateBytes),
                static_cast<unsigned long long>(memory.heapBytes), static_cast<unsigned long long>(memory.workingSet));
}

bool withinBound(const char* what, long long growth, long long slack) {
    const bool ok = growth <= slack;
    std::printf("%-17s grew by %lld (bound %lld): %s\n", what, growth, slack, ok ? "flat" : "GROWING");
    return ok;
}

// A host that keeps the log on: every detection writes a few dozen entries,
// and each must give back what it opened.
bool soakWithLogging(corvane_bench::ShippedLibrary& library) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"corvane-soak-log-" + std::to_wstring(GetCurrentProcessId());
    library.SetLogFolder(folder.c_str());
    library.DetectVM();  // creates the folder and the file
    const ProcessMemory before = corvane_bench::currentProcessMemory();
    for (int i = 0; i < kLoggedCalls; ++i) library.DetectVM();
    const ProcessMemory after = corvane_bench::currentProcessMemory();
    library.SetLogFolder(L"");
    print("logging, before", before);
    print("logging, after", after);
    const bool ok = withinBound("handles (log on)", static_cast<long long>(after.handles) - before.handles, kHandleSlack);
    DeleteFileW((folder + L"\\CorvaneLog.txt").c_str());
    RemoveDirectoryW(folder.c_str());
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: reliability_soak DLL [calls]\n");
        return 2;
    }
    const int calls = callsWanted(argc, argv);
    if (calls < 2) {
        std::fprintf(stderr, "reliability_soak: at least 2 calls\n");
        return 2;
    }
    corvane_bench::ShippedLibrary library(argv[1]);

    for (int i = 0; i < kWarmUpCalls; ++i) library.DetectVM();
    const int32_t type = library.GetVMType();
    const std::string name = library.GetVMName();
    const ProcessMemory warm = corvane_bench::currentProcessMemory();
    print("after warm-up", warm);

    corvane_bench::Stopwatch watch;
    ProcessMemory halfway{};
    int verdictChanges = 0;
    for (int i = 0; i < calls; ++i) {
        library.DetectVM();
        if (library.GetVMType() != type || name != library.GetVMName()) ++verdictChanges;
        if (i + 1 == calls / 2) halfway = corvane_bench::currentProcessMemory();
    }
    const double seconds = watch.elapsedMicroseconds() / 1e6;
    const ProcessMemory end = corvane_bench::currentProcessMemory();
    print("halfway", halfway);
    print("end", end);
    std::printf("%d detections in %.1f s (%.1f ms each), verdict %d \"%s\"\n", calls, seconds, seconds * 1000 / calls,
                type, name.c_str());

    bool ok = true;
    ok &= withinBound("handles", static_cast<long long>(end.handles) - warm.handles, kHandleSlack);
    ok &= withinBound("threads", static_cast<long long>(end.threads) - warm.threads, kThreadSlack);
    // Heap settles during the first half; a leak keeps growing in the second.
    ok &= withinBound("private bytes", static_cast<long long>(end.privateBytes) - static_cast<long long>(halfway.privateBytes),
                      kPrivateBytesSlack);
    ok &= withinBound("heap in use", static_cast<long long>(end.heapBytes) - static_cast<long long>(halfway.heapBytes),
                      kHeapBytesSlack);
    if (verdictChanges != 0) {
        std::printf("the verdict changed in %d of %d detections\n", verdictChanges, calls);
        ok = false;
    }
    ok &= soakWithLogging(library);
    std::printf("reliability_soak: %s\n", ok ? "passed" : "FAILED");
    return ok ? 0 : 1;
}
