#include "toolkit/explain/MachineExplanation.h"

namespace Corvane::explain {

Explanation explainSimulatedMachine(simulated::SimulatedMachine& machine) {
    using utils::vmdetection::VMDetectionManager;
    auto binding = machine.bind();

    Verdict reported;
    {
        VMDetectionManager manager;
        manager.runDetection();
        reported = {manager.resultType(), manager.resultName()};
    }

    VMDetectionManager manager;
    Explanation explanation = explainDetection(manager);
    explanation.reported = reported;
    // No DLL answers a replay: the detection flow is this program's own copy of the library.
    explanation.reportedBy = "the built-in library code";
    explanation.machine = machine.profile().description.empty() ? "simulated machine" : machine.profile().description;
    explanation.context.source = "the facts the machine profile records, not this machine";
    explanation.context.elevation = "elevation not recorded in the profile";
    return explanation;
}

}  // namespace Corvane::explain
