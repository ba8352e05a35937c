#pragma once
// Hostile machines for the robustness tests: profiles that a buggy driver, a
// broken firmware or an adversary could show, made from a seed so that any
// one of them can be made again.
//
//     HostileMachine machine = makeHostileMachine(seed);
//     // machine.profile, machine.faults: what to simulate; machine.story: what was done to it

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/profile/MachineProfile.h"
#include "toolkit/simulation/SimulatedMachine.h"

namespace Corvane::testing {

struct HostileMachine {
    uint64_t seed = 0;
    profile::MachineProfile profile;
    simulated::Faults faults;
    std::vector<std::string> story;  // one line per change made to the base machine

    // Faults that fire once (the n-th allocation fails): a second detection
    // in the same process may then legitimately see more than the first.
    bool hasOneShotFaults() const { return faults.failHeapAllocAt.has_value() || faults.failLocalAllocAt.has_value(); }
};

// The machine of this seed: a plain, a physical or a recorded base machine
// with one to a dozen hostile changes.  `corpus` holds the recorded machines
// to choose from (may be empty).
HostileMachine makeHostileMachine(uint64_t seed, const std::vector<profile::MachineProfile>& corpus);

}  // namespace Corvane::testing
