// What loading the DLL costs a host on its own: LoadLibraryW to FreeLibrary,
// again and again in this process, nothing called in between.  Each cycle maps
// the DLL, binds its imports, runs its runtime's start-up and shut-down and
// unmaps it; the first cycle, which also reads the file, is reported apart.

#include <stdexcept>
#include <vector>

#include <windows.h>

#include "bench/Bench.h"
#include "bench/Statistics.h"
#include "bench/Stopwatch.h"

namespace corvane_bench {

nlohmann::json measureLoadCycles(const BenchOptions& options, int cycles) {
    std::vector<double> samples;
    double firstUs = 0;
    for (int cycle = 0; cycle <= cycles; ++cycle) {
        Stopwatch watch;
        HMODULE module = LoadLibraryW(options.dllPath.c_str());
        if (module == nullptr) throw std::runtime_error("cannot load the DLL");
        FreeLibrary(module);
        const double us = watch.elapsedMicroseconds();
        if (cycle == 0)
            firstUs = us;
        else
            samples.push_back(us);
    }
    return {{"cycles", cycles}, {"firstLoadFreeUs", firstUs}, {"loadFreeUs", toJson(summarize(samples))}};
}

}  // namespace corvane_bench
