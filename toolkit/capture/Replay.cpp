#include "toolkit/capture/Replay.h"

#include "toolkit/explain/MachineExplanation.h"
#include "platform/SystemProbes.h"
#include "toolkit/simulation/SimulatedMachine.h"

namespace Corvane::capture {

diagnostics::explain::Explanation replayMachine(const profile::MachineProfile& machine) {
    // The WoW64 answer is cached for the process: the replayed machine gives its own.
    platform::forgetWow64Answer();
    simulated::SimulatedMachine simulated(machine);
    diagnostics::explain::Explanation explanation = diagnostics::explain::explainSimulatedMachine(simulated);
    platform::forgetWow64Answer();
    return explanation;
}

}  // namespace Corvane::capture
