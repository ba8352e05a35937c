#pragma once
// The measurements of corvane-bench.  Each returns its part of the JSON report.

#include <string>

#include <nlohmann/json.hpp>

namespace corvane_bench {

struct BenchOptions {
    std::wstring dllPath = L"CorvaneVMD.dll";
    std::string label = "unnamed";  // what the machine is, e.g. "plain-wine"
    int firstCallRuns = 20;         // fresh processes of each kind
    int steadyPairs = 300;          // library and baseline detections, interleaved
    int warmupDetections = 3;
    int checkRepetitions = 50;  // calls of each detector and each check
    std::wstring outputPath;    // the JSON report; stdout when empty
};

// Goals for the library's own cost over the plain baseline.
inline constexpr double kSteadyStateOverheadGoal = 1.05;
inline constexpr double kFirstCallOverheadGoal = 1.10;

// The machine, the software and the settings of this run.
nlohmann::json describeConditions(const BenchOptions& options);

// The first detection of a process, in fresh child processes of this program.
nlohmann::json measureFirstCalls(const BenchOptions& options);

// What a child process started by measureFirstCalls does: `kind` is
// "library" (the DLL), "linked" (the library linked into this program) or
// "baseline"; prints one JSON line and returns the exit code.
int runFirstCallChild(const std::wstring& kind, const BenchOptions& options);

// Repeated detections in one process, library and baseline interleaved.
nlohmann::json measureSteadyState(const BenchOptions& options);

// Every detector and every check on its own.
nlohmann::json measureCheckCosts(const BenchOptions& options);

// LoadLibraryW to FreeLibrary of the DLL, `cycles` times after a first one.
nlohmann::json measureLoadCycles(const BenchOptions& options, int cycles);

}  // namespace corvane_bench
