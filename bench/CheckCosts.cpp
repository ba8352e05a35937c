// The cost of each detector and of each of its checks, called on their own
// through the same tables that detect() walks.  Runs the library's code
// linked into this program (the same sources as the DLL) against this machine.

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "bench/Bench.h"
#include "bench/Statistics.h"
#include "bench/Stopwatch.h"
#include "vmdetection/GeneralDetection.h"
#include "vmdetection/VMDetectionManager.h"

namespace corvane_bench {
namespace {

using Corvane::utils::vmdetection::GeneralDetection;
using Corvane::utils::vmdetection::VMDetectionDefault;
using Corvane::utils::vmdetection::VMDetectionManager;

// A detector that overrides no check: its checks are the base class's.
class BareDetection : public VMDetectionDefault {
public:
    BareDetection() : VMDetectionDefault("bare") {}
    std::unique_ptr<VMDetectionDefault> clone() const override { return std::make_unique<BareDetection>(); }
};

using CheckFunction = bool (*)(VMDetectionDefault*);

// The function a virtual check resolves to for this object (a GCC extension),
// so that checks a detector inherits unchanged can be told apart.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpmf-conversions"
CheckFunction resolvedCheck(VMDetectionDefault& detector, bool (VMDetectionDefault::*check)()) {
    return reinterpret_cast<CheckFunction>(detector.*check);
}
#pragma GCC diagnostic pop

// "VirtualBoxDetection" for an object of Corvane::utils::vmdetection::VirtualBoxDetection.
std::string className(const VMDetectionDefault& detector) {
    int status = 0;
    char* demangled = abi::__cxa_demangle(typeid(detector).name(), nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : typeid(detector).name();
    std::free(demangled);
    const size_t colon = name.rfind("::");
    return colon == std::string::npos ? name : name.substr(colon + 2);
}

template <typename Call>
nlohmann::json timeRepeatedly(int repetitions, Call call, bool& result) {
    std::vector<double> samples;
    for (int i = 0; i < repetitions; ++i) {
        Stopwatch watch;
        const bool found = call();
        samples.push_back(watch.elapsedMicroseconds());
        if (i == 0) result = found;
    }
    return toJson(summarize(samples));
}

}  // namespace

nlohmann::json measureCheckCosts(const BenchOptions& options) {
    VMDetectionManager manager;
    BareDetection bare;
    const int repetitions = options.checkRepetitions;
    nlohmann::json detectors = nlohmann::json::array();

    auto& general = static_cast<GeneralDetection&>(*manager.getGeneralDetector());
    {
        nlohmann::json steps = nlohmann::json::array();
        for (const auto& step : GeneralDetection::steps()) {
            bool found = false;
            nlohmann::json cost = timeRepeatedly(repetitions, [&] { return (general.*step.test)(); }, found);
            steps.push_back({{"name", step.name}, {"found", found}, {"us", cost}});
        }
        bool found = false;
        nlohmann::json cost = timeRepeatedly(repetitions, [&] { return general.detect(); }, found);
        detectors.push_back({{"name", "GeneralDetection"}, {"found", found}, {"detectUs", cost}, {"checks", steps}});
    }

    for (const auto& detector : manager.getDetectors()) {
        nlohmann::json checks = nlohmann::json::array();
        for (const auto& slot : VMDetectionDefault::checkSlots()) {
            const bool inherited = resolvedCheck(*detector, slot.check) == resolvedCheck(bare, slot.check);
            bool found = false;
            nlohmann::json cost = timeRepeatedly(repetitions, [&] { return ((*detector).*slot.check)(); }, found);
            checks.push_back({{"name", slot.name}, {"inherited", inherited}, {"found", found}, {"us", cost}});
        }
        bool found = false;
        nlohmann::json cost = timeRepeatedly(repetitions, [&] { return detector->detect(); }, found);
        detectors.push_back({{"name", className(*detector)},
                             {"displayName", detector->getName()},
                             {"found", found},
                             {"detectUs", cost},
                             {"checks", checks}});
    }
    return {{"repetitions", repetitions}, {"detectors", detectors}};
}

}  // namespace corvane_bench
