#include "toolkit/explain/MachineExplanation.h"

namespace Corvane::diagnostics::explain {

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
    explanation.libraryVersion = CORVANE_VERSION;
    explanation.machine = machine.profile().description.empty() ? "simulated machine" : machine.profile().description;
    return explanation;
}

}  // namespace Corvane::diagnostics::explain
