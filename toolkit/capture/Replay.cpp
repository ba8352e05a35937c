#include "toolkit/capture/Replay.h"

#include <utility>

#include "toolkit/explain/MachineExplanation.h"
#include "toolkit/simulation/SimulatedMachine.h"

namespace Corvane::capture {

diagnostics::explain::Explanation replayMachine(profile::MachineProfile machine) {
    simulated::SimulatedMachine simulated(std::move(machine));
    return diagnostics::explain::explainSimulatedMachine(simulated);
}

}  // namespace Corvane::capture
