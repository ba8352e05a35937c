#pragma once
// `corvane-vmd capture`: the facts of this machine that any check of any
// detector reads, as a machine profile that `corvane-vmd replay` runs the
// library's own code on anywhere.

#include "win32/Win32Api.h"
#include "toolkit/profile/MachineProfile.h"

namespace Corvane::capture {

// Runs the detection as a host does, then every check of every detector
// without stopping at the first sign, all bound to a recording machine, and
// returns what the machine answered.  `description` and `source` name the
// computer and the time of capture.  `machine` is the operating system's own
// functions unless a test records a simulated machine.
profile::MachineProfile captureMachine(const platform::Win32Api& machine = platform::realWin32());

}  // namespace Corvane::capture
