// Detections after the first, in one process: the library (the shipped DLL)
// and the plain baseline take turns, and the order within each pair
// alternates, so that drift of the machine cancels out of their ratio.

#include <cstring>
#include <stdexcept>

#include "bench/Bench.h"
#include "bench/PlainDetection.h"
#include "bench/ProcessMemory.h"
#include "bench/ShippedLibrary.h"
#include "bench/Statistics.h"
#include "bench/Stopwatch.h"

namespace corvane_bench {

nlohmann::json measureSteadyState(const BenchOptions& options) {
    ShippedLibrary library(options.dllPath);
    PlainDetection plain;

    auto timeLibrary = [&] {
        Stopwatch watch;
        library.DetectVM();
        return watch.elapsedMicroseconds();
    };
    PlainVerdict plainVerdict;
    auto timePlain = [&] {
        Stopwatch watch;
        plainVerdict = plain.detect();
        return watch.elapsedMicroseconds();
    };

    for (int i = 0; i < options.warmupDetections; ++i) {
        timeLibrary();
        timePlain();
    }
    const ProcessMemory afterWarmUp = currentProcessMemory();

    std::vector<double> libraryUs, plainUs, pairRatios;
    for (int pair = 0; pair < options.steadyPairs; ++pair) {
        double libraryTime = 0;
        double plainTime = 0;
        if (pair % 2 == 0) {
            libraryTime = timeLibrary();
            plainTime = timePlain();
        } else {
            plainTime = timePlain();
            libraryTime = timeLibrary();
        }
        libraryUs.push_back(libraryTime);
        plainUs.push_back(plainTime);
        if (plainTime > 0) pairRatios.push_back(libraryTime / plainTime);
    }
    const ProcessMemory afterRuns = currentProcessMemory();

    const Summary lib = summarize(libraryUs);
    const Summary base = summarize(plainUs);
    const double overhead = base.median > 0 ? lib.median / base.median : 0;
    const bool agree = library.GetVMType() == plainVerdict.type &&
                       std::strcmp(library.GetVMName(), plainVerdict.name) == 0;
    return {
        {"pairs", options.steadyPairs},
        {"warmupDetections", options.warmupDetections},
        {"libraryUs", toJson(lib)},
        {"baselineUs", toJson(base)},
        {"pairRatio", toJson(summarize(pairRatios))},
        {"verdict",
         {{"library", {{"type", library.GetVMType()}, {"name", library.GetVMName()}}},
          {"baseline", {{"type", plainVerdict.type}, {"name", plainVerdict.name}}},
          {"agree", agree}}},
        {"overhead",
         {{"ratioOfMedians", overhead},
          {"goal", kSteadyStateOverheadGoal},
          {"met", overhead <= kSteadyStateOverheadGoal}}},
        {"processAfterWarmUp", toJson(afterWarmUp)},
        {"processAfterRuns", toJson(afterRuns)},
    };
}

}  // namespace corvane_bench
