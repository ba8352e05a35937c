// corvane-bench: what CorvaneVMD costs the process that loads it, against a
// plain baseline that makes the same Windows calls without the library.
//
//   corvane-bench --dll PATH [--label NAME] [--out FILE] [--smoke]
//                 [--first-call-runs N] [--steady-pairs N] [--check-repetitions N] [--warmup N]
//   corvane-bench --dll PATH --load-cycles N [--out FILE]
//
// Writes one JSON report (tools/run-benchmarks.sh runs it on plain Wine and
// on a prefix dressed as a VirtualBox guest; docs/performance.md reads it).

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/Bench.h"

namespace {

using corvane_bench::BenchOptions;

const char kUsage[] =
    "usage: corvane-bench --dll PATH [--label NAME] [--out FILE] [--smoke]\n"
    "                     [--first-call-runs N] [--steady-pairs N] [--check-repetitions N] [--warmup N]\n"
    "       corvane-bench --dll PATH --load-cycles N [--out FILE]\n";

std::string narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

int positive(const std::wstring& text) {
    const int value = std::wcstol(text.c_str(), nullptr, 10);
    if (value <= 0) throw std::invalid_argument("expected a positive number, got " + narrow(text));
    return value;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    BenchOptions options;
    std::wstring childKind;
    int loadCycles = 0;  // with --load-cycles, the only measurement
    try {
        for (int i = 1; i < argc; ++i) {
            const std::wstring argument = argv[i];
            auto value = [&]() -> std::wstring {
                if (i + 1 >= argc) throw std::invalid_argument(narrow(argument) + " needs a value");
                return argv[++i];
            };
            if (argument == L"--dll")
                options.dllPath = value();
            else if (argument == L"--label")
                options.label = narrow(value());
            else if (argument == L"--out")
                options.outputPath = value();
            else if (argument == L"--first-call-runs")
                options.firstCallRuns = positive(value());
            else if (argument == L"--steady-pairs")
                options.steadyPairs = positive(value());
            else if (argument == L"--check-repetitions")
                options.checkRepetitions = positive(value());
            else if (argument == L"--warmup")
                options.warmupDetections = positive(value());
            else if (argument == L"--child")
                childKind = value();
            else if (argument == L"--load-cycles")
                loadCycles = positive(value());
            else if (argument == L"--smoke") {
                // One short pass of everything: for checking the report, not for numbers.
                options.firstCallRuns = 1;
                options.steadyPairs = 2;
                options.warmupDetections = 1;
                options.checkRepetitions = 1;
            } else if (argument == L"--help") {
                std::fputs(kUsage, stdout);
                return 0;
            } else {
                throw std::invalid_argument("unknown argument " + narrow(argument));
            }
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "corvane-bench: %s\n%s", error.what(), kUsage);
        return 2;
    }

    try {
        if (!childKind.empty()) return corvane_bench::runFirstCallChild(childKind, options);

        nlohmann::json report = {{"format", "corvane-bench"}, {"version", 1}};
        report["conditions"] = corvane_bench::describeConditions(options);
        if (loadCycles > 0) {
            report["format"] = "corvane-bench-load";
            report["loadCycles"] = corvane_bench::measureLoadCycles(options, loadCycles);
        } else {
            std::fprintf(stderr, "corvane-bench: first calls in fresh processes...\n");
            report["firstCall"] = corvane_bench::measureFirstCalls(options);
            std::fprintf(stderr, "corvane-bench: steady state...\n");
            report["steadyState"] = corvane_bench::measureSteadyState(options);
            std::fprintf(stderr, "corvane-bench: each detector and check...\n");
            report["checkCosts"] = corvane_bench::measureCheckCosts(options);
        }

        const std::string text = report.dump(2) + "\n";
        if (options.outputPath.empty()) {
            std::fputs(text.c_str(), stdout);
        } else {
            std::ofstream out(std::filesystem::path(options.outputPath), std::ios::binary);
            out << text;
            if (!out) throw std::runtime_error("cannot write " + narrow(options.outputPath));
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "corvane-bench: %s\n", error.what());
        return 1;
    }
}
