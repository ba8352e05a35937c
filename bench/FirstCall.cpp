// The first detection of a process: manager construction, COM start-up and
// the WMI connection included.  Each measurement is a fresh child process of
// this program; library and baseline children alternate so that drift of the
// machine touches both alike.

#include <cstdio>
#include <stdexcept>

#include "bench/Bench.h"
#include "bench/ChildProcess.h"
#include "bench/PlainDetection.h"
#include "bench/ProcessMemory.h"
#include "bench/ShippedLibrary.h"
#include "bench/Statistics.h"
#include "bench/Stopwatch.h"

namespace corvane_bench {
namespace {

nlohmann::json runChild(const std::wstring& kind, const BenchOptions& options) {
    const ChildResult child = runSelf({L"--child", kind, L"--dll", options.dllPath});
    if (child.exitCode != 0) throw std::runtime_error("a first-call child failed: " + child.output);
    // The report is the child's last line.
    const size_t end = child.output.find_last_not_of("\r\n");
    const size_t start = child.output.rfind('\n', end);
    return nlohmann::json::parse(child.output.substr(start == std::string::npos ? 0 : start + 1));
}

double ratio(double numerator, double denominator) { return denominator > 0 ? numerator / denominator : 0; }

}  // namespace

int runFirstCallChild(const std::wstring& kind, const BenchOptions& options) {
    nlohmann::json report;
    const ProcessMemory before = currentProcessMemory();
    if (kind == L"library") {
        Stopwatch load;
        ShippedLibrary library(options.dllPath);
        const double loadUs = load.elapsedMicroseconds();
        Stopwatch first;
        library.DetectVM();
        const double firstUs = first.elapsedMicroseconds();
        Stopwatch second;
        library.DetectVM();
        const double secondUs = second.elapsedMicroseconds();
        report = {{"loadUs", loadUs}, {"firstDetectUs", firstUs}, {"secondDetectUs", secondUs},
                  {"type", library.GetVMType()}, {"name", library.GetVMName()}};
        report["after"] = toJson(currentProcessMemory());
    } else if (kind == L"baseline") {
        PlainDetection plain;
        Stopwatch first;
        const PlainVerdict verdict = plain.detect();
        const double firstUs = first.elapsedMicroseconds();
        Stopwatch second;
        plain.detect();
        const double secondUs = second.elapsedMicroseconds();
        report = {{"loadUs", 0.0}, {"firstDetectUs", firstUs}, {"secondDetectUs", secondUs},
                  {"type", verdict.type}, {"name", verdict.name}};
        report["after"] = toJson(currentProcessMemory());
    } else {
        return 2;
    }
    report["before"] = toJson(before);
    std::printf("%s\n", report.dump().c_str());
    return 0;
}

nlohmann::json measureFirstCalls(const BenchOptions& options) {
    std::vector<double> libraryLoad, libraryFirst, libraryLoadAndFirst, librarySecond, baselineFirst, baselineSecond;
    std::vector<double> libraryPeak, baselinePeak, libraryPrivateGrowth, baselinePrivateGrowth;
    nlohmann::json verdicts = nlohmann::json::array();
    for (int run = 0; run < options.firstCallRuns; ++run) {
        // Alternate which kind goes first.
        const bool libraryFirstThisRound = run % 2 == 0;
        for (int turn = 0; turn < 2; ++turn) {
            const bool library = (turn == 0) == libraryFirstThisRound;
            const nlohmann::json child = runChild(library ? L"library" : L"baseline", options);
            const double peak = child["after"]["peakWorkingSetBytes"].get<double>();
            const double privateGrowth = child["after"]["privateBytes"].get<double>() -
                                         child["before"]["privateBytes"].get<double>();
            if (library) {
                libraryLoad.push_back(child["loadUs"]);
                libraryFirst.push_back(child["firstDetectUs"]);
                libraryLoadAndFirst.push_back(child["loadUs"].get<double>() + child["firstDetectUs"].get<double>());
                librarySecond.push_back(child["secondDetectUs"]);
                libraryPeak.push_back(peak);
                libraryPrivateGrowth.push_back(privateGrowth);
            } else {
                baselineFirst.push_back(child["firstDetectUs"]);
                baselineSecond.push_back(child["secondDetectUs"]);
                baselinePeak.push_back(peak);
                baselinePrivateGrowth.push_back(privateGrowth);
            }
            if (run == 0) verdicts.push_back({{"kind", library ? "library" : "baseline"}, {"type", child["type"]},
                                              {"name", child["name"]}});
        }
    }

    const Summary first = summarize(libraryFirst);
    const Summary withLoad = summarize(libraryLoadAndFirst);
    const Summary plain = summarize(baselineFirst);
    const double overhead = ratio(first.median, plain.median);
    return {
        {"runs", options.firstCallRuns},
        {"library",
         {{"loadUs", toJson(summarize(libraryLoad))},
          {"firstDetectUs", toJson(first)},
          {"loadAndFirstDetectUs", toJson(withLoad)},
          {"secondDetectUs", toJson(summarize(librarySecond))},
          {"peakWorkingSetBytes", toJson(summarize(libraryPeak))},
          {"privateBytesGrowth", toJson(summarize(libraryPrivateGrowth))}}},
        {"baseline",
         {{"firstDetectUs", toJson(plain)},
          {"secondDetectUs", toJson(summarize(baselineSecond))},
          {"peakWorkingSetBytes", toJson(summarize(baselinePeak))},
          {"privateBytesGrowth", toJson(summarize(baselinePrivateGrowth))}}},
        {"verdicts", verdicts},
        {"overhead",
         {{"ratioOfMedians", overhead},
          {"ratioOfMediansWithLoad", ratio(withLoad.median, plain.median)},
          {"goal", kFirstCallOverheadGoal},
          {"met", overhead <= kFirstCallOverheadGoal}}},
    };
}

}  // namespace corvane_bench
