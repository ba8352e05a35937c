// The cost of each detector and of each of its checks, called on their own
// through the same tables that detect() walks.  Runs the library's code
// linked into this program (the same sources as the DLL) against this machine.

#include "bench/Bench.h"
#include "bench/Statistics.h"
#include "bench/Stopwatch.h"
#include "toolkit/explain/KnownDetectors.h"
#include "vmdetection/GeneralDetection.h"
#include "vmdetection/VMDetectionManager.h"

namespace corvane_bench {
namespace {

using Corvane::utils::vmdetection::GeneralDetection;
using Corvane::utils::vmdetection::VMDetectionDefault;
using Corvane::utils::vmdetection::VMDetectionManager;

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
    const int repetitions = options.checkRepetitions;
    nlohmann::json detectors = nlohmann::json::array();

    auto& general = static_cast<GeneralDetection&>(*manager.getGeneralDetector());
    {
        nlohmann::json steps = nlohmann::json::array();
        for (const auto& step : GeneralDetection::steps()) {
            bool found = false;
            nlohmann::json cost = timeRepeatedly(
                repetitions, [&] { return (general.*step.test)(); }, found);
            steps.push_back({{"name", step.name}, {"found", found}, {"us", cost}});
        }
        bool found = false;
        nlohmann::json cost = timeRepeatedly(
            repetitions, [&] { return general.detect(); }, found);
        detectors.push_back(
            {{"name", GeneralDetection::kIdentifier}, {"found", found}, {"detectUs", cost}, {"checks", steps}});
    }

    for (const auto& detector : manager.getDetectors()) {
        const Corvane::explain::KnownDetector known = Corvane::explain::knownDetector(*detector).value();
        nlohmann::json checks = nlohmann::json::array();
        for (size_t i = 0; i < VMDetectionDefault::kCheckCount; ++i) {
            const VMDetectionDefault::CheckSlot& slot = VMDetectionDefault::checkSlots()[i];
            const bool inherited = !known.own[i];
            bool found = false;
            nlohmann::json cost = timeRepeatedly(
                repetitions, [&] { return ((*detector).*slot.check)(); }, found);
            checks.push_back({{"name", slot.name}, {"inherited", inherited}, {"found", found}, {"us", cost}});
        }
        bool found = false;
        nlohmann::json cost = timeRepeatedly(
            repetitions, [&] { return detector->detect(); }, found);
        detectors.push_back({{"name", known.identifier},
                             {"displayName", detector->getName()},
                             {"found", found},
                             {"detectUs", cost},
                             {"checks", checks}});
    }
    return {{"repetitions", repetitions}, {"detectors", detectors}};
}

}  // namespace corvane_bench
