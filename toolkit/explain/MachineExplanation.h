#pragma once
// Explaining a detection on a simulated machine (a recorded or hand-written
// machine profile), with what DetectVM answers on that machine beside it.

#include "toolkit/explain/Explanation.h"
#include "toolkit/simulation/SimulatedMachine.h"

namespace Corvane::explain {

// Binds the machine, lets one fresh manager run the detection flow (the answer
// DetectVM gives, kept in `reported`), then explains with another fresh
// manager, so neither run sees what the other left behind.  `machine` in the
// result is the profile's description.
Explanation explainSimulatedMachine(simulated::SimulatedMachine& machine);

}  // namespace Corvane::explain
