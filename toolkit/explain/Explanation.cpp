#include "toolkit/explain/Explanation.h"

#include <algorithm>
#include <functional>

#include "platform/SystemProbes.h"
#include "toolkit/explain/HostArtefacts.h"
#include "toolkit/explain/KnownDetectors.h"
#include "vmdetection/GeneralDetection.h"

namespace Corvane::explain {
namespace {

using Clock = std::chrono::steady_clock;
using diagnostics::EvidenceCollector;
using utils::vmdetection::GeneralDetection;
using utils::vmdetection::VMDetectionDefault;
using utils::vmdetection::VMDetectionManager;

// How reports name the detector: its class's identifier.  A class the tools
// do not know (a test's stand-in) goes by its display name.
std::string identifierOf(const VMDetectionDefault& detector) {
    const std::optional<KnownDetector> known = knownDetector(detector);
    return known ? std::string(known->identifier) : detector.getName();
}

struct NamedTest {
    const char* name;
    std::function<bool()> run;
};

// One check with its own evidence collector, so each artefact lands with the
// check that noted it.
CheckOutcome runCheck(const NamedTest& test) {
    CheckOutcome outcome;
    outcome.check = test.name;
    EvidenceCollector collector;
    const auto start = Clock::now();
    outcome.sign = test.run();
    outcome.elapsed = Clock::now() - start;
    outcome.evidence = collector.artefacts();
    for (const Artefact& artefact : outcome.evidence) {
        const std::string adapter = artefact.kind == "MAC address" ? adapterDescriptionFor(artefact.value) : "";
        outcome.hostHints.push_back(hostArtefactHint(outcome.check, artefact, adapter));
    }
    return outcome;
}

// The general detector's steps in the order its detect() evaluates them.
std::vector<NamedTest> gateSteps(VMDetectionDefault* general) {
    std::vector<NamedTest> steps;
    if (!general) return steps;
    if (auto* detection = dynamic_cast<GeneralDetection*>(general)) {
        for (const GeneralDetection::Step& step : GeneralDetection::steps()) {
            steps.push_back({step.name, [detection, test = step.test] { return (detection->*test)(); }});
        }
    } else {
        steps.push_back({"detect", [general] { return general->detect(); }});
    }
    return steps;
}

DetectorOutcome explainProduct(VMDetectionDefault& detector) {
    DetectorOutcome outcome;
    outcome.detector = identifierOf(detector);
    outcome.name = detector.getName();
    outcome.type = static_cast<int32_t>(detector.getType());
    outcome.role = DetectorRole::Product;
    // A class the tools do not know has every check as its own, so nothing is hidden wrongly.
    OwnChecks own;
    own.fill(true);
    if (const std::optional<KnownDetector> known = knownDetector(detector)) own = known->own;
    const auto& slots = VMDetectionDefault::checkSlots();
    for (size_t i = 0; i < slots.size(); ++i) {
        outcome.checks.push_back(
            runCheck({slots[i].name, [&detector, check = slots[i].check] { return (detector.*check)(); }}));
        outcome.checks.back().own = own[i];
    }
    return outcome;
}

// The first-match rules of runDetection, applied to outcomes already known.
void decide(Explanation& explanation, DetectorOutcome& gate, std::vector<DetectorOutcome>& products) {
    auto opened = std::find_if(gate.checks.begin(), gate.checks.end(), [](const CheckOutcome& c) { return c.sign; });
    for (auto it = gate.checks.begin(); it != gate.checks.end() && it <= opened; ++it) it->reached = true;
    if (opened == gate.checks.end()) return;
    opened->decisive = true;
    explanation.gate = gate.detector + "." + opened->check;

    for (DetectorOutcome& product : products) {
        product.asked = true;
        for (CheckOutcome& check : product.checks) {
            check.reached = true;
            if (!check.sign) continue;
            check.decisive = true;
            explanation.verdict = {product.type, product.name};
            explanation.decidedBy = product.detector + "." + check.check;
            return;
        }
    }
}

}  // namespace

bool DetectorOutcome::showsSign() const {
    return std::any_of(checks.begin(), checks.end(), [](const CheckOutcome& c) { return c.sign; });
}

Explanation explainDetection(VMDetectionManager& manager) {
    const auto start = Clock::now();
    Explanation explanation;
    ExplanationContext& context = explanation.context;
    context.wow64 = platform::isRunningUnderWow64();
    context.wmiConnected = manager.getWmi().isConnected();
    if (!context.wmiConnected) context.wmiConnectStatus = manager.getWmi().getStatus();

    VMDetectionDefault* general = manager.getGeneralDetector();
    DetectorOutcome gate;
    gate.role = DetectorRole::Gate;
    gate.asked = general != nullptr;
    if (general) {
        gate.detector = identifierOf(*general);
        gate.name = general->getName();
        gate.type = static_cast<int32_t>(general->getType());
    }

    // The gate's steps up to its first sign, exactly as detect() runs them.
    const std::vector<NamedTest> steps = gateSteps(general);
    size_t next = 0;
    bool opened = false;
    while (next < steps.size() && !opened) {
        gate.checks.push_back(runCheck(steps[next++]));
        opened = gate.checks.back().sign;
    }

    std::vector<DetectorOutcome> products;
    for (const auto& detector : manager.getDetectors()) {
        if (detector) products.push_back(explainProduct(*detector));
    }

    // The steps detect() would have skipped, now that nothing else depends on
    // the state they leave behind.
    while (next < steps.size()) gate.checks.push_back(runCheck(steps[next++]));

    // A query that failed for good, or a connection that dropped, leaves the
    // WMI checks after it unable to look.
    const platform::WMIHelper& wmi = manager.getWmi();
    if (context.wmiConnected && wmi.getStatus() < 0) context.wmiFinalStatus = wmi.getStatus();
    if (context.wmiConnected && !wmi.isConnected() && context.wmiFinalStatus == 0) {
        context.wmiFinalStatus = platform::WMIHelper::kNotConnected;
    }

    decide(explanation, gate, products);
    explanation.detectors.push_back(std::move(gate));
    for (DetectorOutcome& product : products) explanation.detectors.push_back(std::move(product));
    explanation.elapsed = Clock::now() - start;
    return explanation;
}

}  // namespace Corvane::explain
