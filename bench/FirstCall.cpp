// The first detection of a process: manager construction, COM start-up and
// the WMI connection included.  Each measurement is a fresh child process of
// this program, of three kinds taking turns so that drift of the machine
// touches all alike: the shipped DLL, the same library linked into this
// program, and the plain baseline.

#include <cstdio>
#include <cwchar>
#include <iterator>
#include <stdexcept>

#include "api/Exports.h"
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
        report = {{"loadUs", loadUs},
                  {"firstDetectUs", firstUs},
                  {"secondDetectUs", secondUs},
                  {"type", library.GetVMType()},
                  {"name", library.GetVMName()}};
        report["after"] = toJson(currentProcessMemory());
    } else if (kind == L"linked") {
        // The same library linked into this program: no DLL to load and no
        // code of its own to page in, which tells the DLL's share of the cost.
        Stopwatch first;
        DetectVM();
        const double firstUs = first.elapsedMicroseconds();
        Stopwatch second;
        DetectVM();
        const double secondUs = second.elapsedMicroseconds();
        report = {{"loadUs", 0.0},
                  {"firstDetectUs", firstUs},
                  {"secondDetectUs", secondUs},
                  {"type", GetVMType()},
                  {"name", GetVMName()}};
        report["after"] = toJson(currentProcessMemory());
    } else if (kind == L"baseline") {
        PlainDetection plain;
        Stopwatch first;
        const PlainVerdict verdict = plain.detect();
        const double firstUs = first.elapsedMicroseconds();
        Stopwatch second;
        plain.detect();
        const double secondUs = second.elapsedMicroseconds();
        report = {{"loadUs", 0.0},
                  {"firstDetectUs", firstUs},
                  {"secondDetectUs", secondUs},
                  {"type", verdict.type},
                  {"name", verdict.name}};
        report["after"] = toJson(currentProcessMemory());
    } else {
        return 2;
    }
    report["before"] = toJson(before);
    std::printf("%s\n", report.dump().c_str());
    return 0;
}

nlohmann::json measureFirstCalls(const BenchOptions& options) {
    struct Kind {
        explicit Kind(const wchar_t* kindName) : name(kindName) {}
        const wchar_t* name;
        std::vector<double> load, first, loadAndFirst, second, peak, privateGrowth;
        nlohmann::json verdict;
    };
    Kind kinds[] = {Kind(L"library"), Kind(L"linked"), Kind(L"baseline")};
    constexpr size_t kKinds = std::size(kinds);
    for (int run = 0; run < options.firstCallRuns; ++run) {
        // Each round starts with another kind, so that drift touches all alike.
        for (size_t turn = 0; turn < kKinds; ++turn) {
            Kind& kind = kinds[(static_cast<size_t>(run) + turn) % kKinds];
            const nlohmann::json child = runChild(kind.name, options);
            kind.load.push_back(child["loadUs"]);
            kind.first.push_back(child["firstDetectUs"]);
            kind.loadAndFirst.push_back(child["loadUs"].get<double>() + child["firstDetectUs"].get<double>());
            kind.second.push_back(child["secondDetectUs"]);
            kind.peak.push_back(child["after"]["peakWorkingSetBytes"].get<double>());
            kind.privateGrowth.push_back(child["after"]["privateBytes"].get<double>() -
                                         child["before"]["privateBytes"].get<double>());
            kind.verdict = {{"type", child["type"]}, {"name", child["name"]}};
        }
    }

    nlohmann::json report = {{"runs", options.firstCallRuns}};
    for (Kind& kind : kinds) {
        const std::string name(kind.name, kind.name + std::wcslen(kind.name));
        report[name] = {{"loadUs", toJson(summarize(kind.load))},
                        {"firstDetectUs", toJson(summarize(kind.first))},
                        {"loadAndFirstDetectUs", toJson(summarize(kind.loadAndFirst))},
                        {"secondDetectUs", toJson(summarize(kind.second))},
                        {"peakWorkingSetBytes", toJson(summarize(kind.peak))},
                        {"privateBytesGrowth", toJson(summarize(kind.privateGrowth))},
                        {"verdict", kind.verdict}};
    }
    const double library = summarize(kinds[0].first).median;
    const double libraryWithLoad = summarize(kinds[0].loadAndFirst).median;
    const double linked = summarize(kinds[1].first).median;
    const double plain = summarize(kinds[2].first).median;
    const double overhead = ratio(library, plain);
    report["overhead"] = {{"ratioOfMedians", overhead},
                          {"ratioOfMediansWithLoad", ratio(libraryWithLoad, plain)},
                          {"linkedRatioOfMedians", ratio(linked, plain)},
                          {"secondDetectRatioOfMedians",
                           ratio(summarize(kinds[0].second).median, summarize(kinds[2].second).median)},
                          {"goal", kFirstCallOverheadGoal},
                          {"met", overhead <= kFirstCallOverheadGoal}};
    return report;
}

}  // namespace corvane_bench
