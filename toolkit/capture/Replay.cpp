#include "toolkit/capture/Replay.h"

#include <utility>

#include "toolkit/explain/MachineExplanation.h"
#include "platform/SystemProbes.h"
#include "toolkit/simulation/SimulatedMachine.h"

namespace Corvane::capture {

explain::Explanation replayMachine(profile::MachineProfile machine) {
    // The WoW64 answer is cached for the process: the replayed machine gives its own.
    platform::forgetWow64Answer();
    simulated::SimulatedMachine simulated(std::move(machine));
    explain::Explanation explanation = explain::explainSimulatedMachine(simulated);
    platform::forgetWow64Answer();
    return explanation;
}

}  // namespace Corvane::capture
