#include <nlohmann/json.hpp>

#include "toolkit/explain/ExplanationRender.h"

namespace Corvane::explain {
namespace {

using nlohmann::ordered_json;

ordered_json textOrNull(const std::string& text) { return text.empty() ? ordered_json(nullptr) : ordered_json(text); }

ordered_json verdictJson(const Verdict& verdict) {
    return {{"type", verdict.type}, {"name", verdict.name}, {"recognised", verdict.recognised()}};
}

ordered_json checkJson(const CheckOutcome& check) {
    ordered_json evidence = ordered_json::array();
    for (size_t i = 0; i < check.evidence.size(); ++i) {
        const std::string hint = i < check.hostHints.size() ? check.hostHints[i] : "";
        evidence.push_back(
            {{"kind", check.evidence[i].kind}, {"value", check.evidence[i].value}, {"hostArtefact", textOrNull(hint)}});
    }
    return {{"check", check.check},           {"own", check.own},           {"sign", check.sign},
            {"reached", check.reached},       {"decisive", check.decisive}, {"nanoseconds", check.elapsed.count()},
            {"evidence", std::move(evidence)}};
}

ordered_json contextJson(const ExplanationContext& context) {
    return {{"replay", textOrNull(context.source)},
            {"processBits", context.wow64 ? 32 : context.processBits},
            {"wow64", context.wow64},
            {"elevation", textOrNull(context.elevation)},
            {"wmiAnswered", context.wmiConnected && context.wmiFinalStatus == 0},
            {"wmiConnectStatus", context.wmiConnected ? ordered_json(nullptr) : ordered_json(context.wmiConnectStatus)},
            {"wmiFailedStatus",
             context.wmiFinalStatus == 0 ? ordered_json(nullptr) : ordered_json(context.wmiFinalStatus)}};
}

ordered_json detectorJson(const DetectorOutcome& detector) {
    ordered_json checks = ordered_json::array();
    for (const CheckOutcome& check : detector.checks) checks.push_back(checkJson(check));
    return {{"detector", textOrNull(detector.detector)},
            {"name", detector.name},
            {"role", detector.role == DetectorRole::Gate ? "gate" : "product"},
            {"type", detector.type},
            {"asked", detector.asked},
            {"sign", detector.showsSign()},
            {"checks", std::move(checks)}};
}

}  // namespace

std::string renderJson(const Explanation& explanation) {
    ordered_json detectors = ordered_json::array();
    for (const DetectorOutcome& detector : explanation.detectors) detectors.push_back(detectorJson(detector));

    ordered_json document = {
        {"machine", textOrNull(explanation.machine)},
        {"libraryVersion", textOrNull(explanation.libraryVersion)},
        {"context", contextJson(explanation.context)},
        {"verdict", verdictJson(explanation.verdict)},
        {"gate", textOrNull(explanation.gate)},
        {"decidedBy", textOrNull(explanation.decidedBy)},
        {"detectVM", explanation.reported ? verdictJson(*explanation.reported) : ordered_json(nullptr)},
        {"agrees", explanation.agrees()},
        {"nanoseconds", explanation.elapsed.count()},
        {"detectors", std::move(detectors)},
    };
    // Artefacts are UTF-8 as noted; a stray byte must not make the whole
    // explanation unprintable.
    return document.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace Corvane::explain
