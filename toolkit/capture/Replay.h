#pragma once
// `corvane-vmd replay FILE`: the library's own code run on a recorded machine.

#include "toolkit/explain/Explanation.h"
#include "toolkit/profile/MachineProfile.h"

namespace Corvane::capture {

// What DetectVM answers on that machine (`reported`) and the explanation of
// every check, exactly as `corvane-vmd detect --explain` gives them there.
// Taken by value: a caller done with its profile moves it in, and a large one
// is not held twice.
explain::Explanation replayMachine(profile::MachineProfile machine);

}  // namespace Corvane::capture
