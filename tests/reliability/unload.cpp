// Load and free: a host that loads CorvaneVMD.dll, makes one detection and
// frees the DLL, over and over, must end each cycle with what it had after
// the first one: the same modules, as many handles, and private bytes within
// a small bound.  And the System32 modules the DLL loads for itself
// (iphlpapi, mpr, powrprof) must not keep a reference per cycle: at the end
// the test frees each of them until it goes, and counts how often it had to.
//
//   reliability_unload DLL [cycles]    (CORVANE_UNLOAD_CYCLES overrides the default;
//                                       CORVANE_UNLOAD_CYCLES=1000 for the full run)

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <set>
#include <string>

#include "bench/ProcessMemory.h"
#include "bench/ShippedLibrary.h"
#include "bench/Stopwatch.h"

namespace {

using corvane_bench::ProcessMemory;

// Under Wine a cycle takes about 100 ms (the manager connects to WMI on every
// load), so the default stays well inside the suite's budget.  A leak of one
// handle or one reference per cycle shows after two cycles; a leak of a few
// kilobytes per cycle passes the memory bound within the default count.
constexpr int kDefaultCycles = 200;
constexpr long long kHandleSlack = 2;
constexpr long long kPrivateBytesSlack = 512 * 1024;
constexpr int kReferenceSlack = 2;  // references that modules still loaded may hold through their imports

const wchar_t* const kSystemModules[] = {L"iphlpapi.dll", L"mpr.dll", L"powrprof.dll"};

int cyclesWanted(int argc, wchar_t** argv) {
    if (const char* fromEnvironment = std::getenv("CORVANE_UNLOAD_CYCLES")) return std::atoi(fromEnvironment);
    if (argc > 2) return _wtoi(argv[2]);
    return kDefaultCycles;
}

void cycle(const std::wstring& dll) {
    corvane_bench::ShippedLibrary library(dll);
    library.DetectVM();
}

std::set<std::wstring> loadedModules() {
    std::set<std::wstring> modules;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId());
    if (snapshot == INVALID_HANDLE_VALUE) return modules;
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Module32FirstW(snapshot, &entry); more; more = Module32NextW(snapshot, &entry)) {
        std::wstring path = entry.szExePath;
        std::transform(path.begin(), path.end(), path.begin(), [](wchar_t c) { return std::towlower(c); });
        modules.insert(path);
    }
    CloseHandle(snapshot);
    return modules;
}

bool sameModules(const std::set<std::wstring>& first, const std::set<std::wstring>& last) {
    for (const auto& module : first)
        if (!last.count(module)) std::printf("module gone since the first cycle: %ls\n", module.c_str());
    for (const auto& module : last)
        if (!first.count(module)) std::printf("module new since the first cycle: %ls\n", module.c_str());
    std::printf("modules after the first cycle %zu, at the end %zu: %s\n", first.size(), last.size(),
                first == last ? "same" : "DIFFERENT");
    return first == last;
}

// How many references the process still holds on a module: destructive, so
// only at the very end.
int referencesHeld(const wchar_t* name, int limit) {
    int references = 0;
    while (HMODULE module = GetModuleHandleW(name)) {
        if (references == limit || !FreeLibrary(module)) break;
        ++references;
    }
    return references;
}

bool withinBound(const char* what, long long growth, long long slack) {
    const bool ok = growth <= slack;
    std::printf("%-34s %lld (bound %lld): %s\n", what, growth, slack, ok ? "flat" : "GROWING");
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: reliability_unload DLL [cycles]\n");
        return 2;
    }
    const std::wstring dll = argv[1];
    const int cycles = cyclesWanted(argc, argv);
    if (cycles < 2) {
        std::fprintf(stderr, "reliability_unload: at least 2 cycles\n");
        return 2;
    }

    corvane_bench::Stopwatch watch;
    cycle(dll);
    const std::set<std::wstring> firstModules = loadedModules();
    const ProcessMemory first = corvane_bench::currentProcessMemory();
    for (int i = 1; i < cycles; ++i) cycle(dll);
    const ProcessMemory last = corvane_bench::currentProcessMemory();
    const double seconds = watch.elapsedMicroseconds() / 1e6;
    std::printf("%d load, detect and free cycles in %.1f s (%.1f ms each)\n", cycles, seconds, seconds * 1000 / cycles);
    std::printf("handles %u -> %u, private bytes %llu -> %llu\n", first.handles, last.handles,
                static_cast<unsigned long long>(first.privateBytes), static_cast<unsigned long long>(last.privateBytes));

    bool ok = sameModules(firstModules, loadedModules());
    ok &= withinBound("handles grew by", static_cast<long long>(last.handles) - first.handles, kHandleSlack);
    ok &= withinBound("private bytes grew by",
                      static_cast<long long>(last.privateBytes) - static_cast<long long>(first.privateBytes),
                      kPrivateBytesSlack);
    for (const wchar_t* module : kSystemModules) {
        const std::string what = "references held on " + std::string(module, module + std::wcslen(module));
        ok &= withinBound(what.c_str(), referencesHeld(module, cycles + kReferenceSlack), kReferenceSlack);
    }
    std::printf("reliability_unload: %s\n", ok ? "passed" : "FAILED");
    return ok ? 0 : 1;
}
