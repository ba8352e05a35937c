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
// Then the DLL is loaded, asked one detection and freed, cycle after cycle
// (CORVANE_UNLOAD_CYCLES, default 1000, as many as a host is held to): the process
// must end with the modules, handles and private bytes of the first cycle,
// and without a reference per cycle on the System32 modules the DLL loads for
// itself (iphlpapi, mpr, powrprof), which the end frees until each is gone.
//
// The default count keeps the run inside the suite's time budget: under Wine
// one detection takes 50 to 100 ms on plain Wine (docs/performance.md), so
// the full 10,000 take a quarter of an hour.

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <set>
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

// A cycle takes about 100 ms under Wine (the manager connects to WMI on every
// load).  A leak of a handle or a reference per cycle shows after two cycles,
// one of a few kilobytes per cycle within the default count.
constexpr int kDefaultUnloadCycles = 1000;
constexpr int kReferenceSlack = 2;  // references that modules still loaded may hold through their imports
const wchar_t* const kSystemModules[] = {L"iphlpapi.dll", L"mpr.dll", L"powrprof.dll"};

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

bool withinBound(const char* what, unsigned long long before, unsigned long long after, long long slack) {
    const long long growth = static_cast<long long>(after) - static_cast<long long>(before);
    const bool ok = growth <= slack;
    std::printf("%-17s grew by %lld (bound %lld): %s\n", what, growth, slack, ok ? "flat" : "GROWING");
    return ok;
}

// A host that keeps the log on: every detection writes a few dozen entries,
// and each must give back what it opened.
bool soakWithLogging(corvane_bench::ShippedLibrary& library) {
    const auto folder = std::filesystem::temp_directory_path() /
                        ("corvane-soak-log-" + std::to_string(GetCurrentProcessId()));
    library.SetLogFolder(folder.c_str());
    library.DetectVM();  // creates the folder and the file
    const ProcessMemory before = corvane_bench::currentProcessMemory();
    for (int i = 0; i < kLoggedCalls; ++i) library.DetectVM();
    const ProcessMemory after = corvane_bench::currentProcessMemory();
    library.SetLogFolder(L"");
    print("logging, before", before);
    print("logging, after", after);
    const bool ok = withinBound("handles (log on)", before.handles, after.handles, kHandleSlack);
    std::filesystem::remove_all(folder);
    return ok;
}

std::set<std::wstring> loadedModules() {
    std::set<std::wstring> modules;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId());
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Module32FirstW(snapshot, &entry); more; more = Module32NextW(snapshot, &entry))
        modules.insert(_wcslwr(entry.szExePath));
    if (snapshot != INVALID_HANDLE_VALUE) CloseHandle(snapshot);
    return modules;
}

bool loadAndFreeCycles(const wchar_t* dll) {
    const char* fromEnvironment = std::getenv("CORVANE_UNLOAD_CYCLES");
    const int cycles = fromEnvironment ? std::atoi(fromEnvironment) : kDefaultUnloadCycles;
    const auto cycle = [dll] { corvane_bench::ShippedLibrary(dll).DetectVM(); };
    corvane_bench::Stopwatch watch;
    cycle();
    const std::set<std::wstring> firstModules = loadedModules();
    const ProcessMemory first = corvane_bench::currentProcessMemory();
    for (int i = 1; i < cycles; ++i) cycle();
    const ProcessMemory last = corvane_bench::currentProcessMemory();
    std::printf("%d load, detect and free cycles in %.1f s\n", cycles, watch.elapsedMicroseconds() / 1e6);
    print("first cycle", first);
    print("last cycle", last);
    std::set<std::wstring> changed;  // loaded or gone since the first cycle
    for (const auto& [one, other] :
         {std::pair{firstModules, loadedModules()}, std::pair{loadedModules(), firstModules}})
        std::set_difference(one.begin(), one.end(), other.begin(), other.end(), std::inserter(changed, changed.end()));
    for (const auto& module : changed)
        std::printf("module loaded or gone since the first cycle: %ls\n", module.c_str());

    bool ok = changed.empty();
    ok &= withinBound("handles (cycles)", first.handles, last.handles, kHandleSlack);
    ok &= withinBound("private bytes (cycles)", first.privateBytes, last.privateBytes, kPrivateBytesSlack);
    ok &= withinBound("heap in use (cycles)", first.heapBytes, last.heapBytes, kHeapBytesSlack);
    // The references still held, counted by freeing: destructive, so at the very end.
    for (const wchar_t* module : kSystemModules) {
        int references = 0;
        for (HMODULE held; references <= cycles && (held = GetModuleHandleW(module)) && FreeLibrary(held);)
            ++references;
        std::printf("%ls: ", module);
        ok &= withinBound("references held", 0, references, kReferenceSlack);
    }
    return ok;
}

// Detections in one load of the DLL, then a few with the log on.
bool soakInOneLoad(const wchar_t* dll, int calls) {
    corvane_bench::ShippedLibrary library(dll);

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

    bool ok = withinBound("handles", warm.handles, end.handles, kHandleSlack);
    ok &= withinBound("threads", warm.threads, end.threads, kThreadSlack);
    // Heap settles during the first half; a leak keeps growing in the second.
    ok &= withinBound("private bytes", halfway.privateBytes, end.privateBytes, kPrivateBytesSlack);
    ok &= withinBound("heap in use", halfway.heapBytes, end.heapBytes, kHeapBytesSlack);
    if (verdictChanges != 0) {
        std::printf("the verdict changed in %d of %d detections\n", verdictChanges, calls);
        ok = false;
    }
    ok &= soakWithLogging(library);
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
    bool ok = soakInOneLoad(argv[1], calls);
    ok &= loadAndFreeCycles(argv[1]);  // from a process the soak's load has left
    std::printf("reliability_soak: %s\n", ok ? "passed" : "FAILED");
    return ok ? 0 : 1;
}
