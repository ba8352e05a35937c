#include "toolkit/capture/Replay.h"

#include <utility>

#include "toolkit/explain/MachineExplanation.h"
#include "toolkit/simulation/SimulatedMachine.h"

namespace Corvane::capture {

explain::Explanation replayMachine(profile::MachineProfile machine) {
    simulated::SimulatedMachine simulated(std::move(machine));
    return explain::explainSimulatedMachine(simulated);
}

}  // namespace Corvane::capture
