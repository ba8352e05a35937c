#pragma once
// Artefacts that a sign rests on but that also exist on physical machines:
// the host side of VMware, VirtualBox and Hyper-V, virtual disks Windows
// mounts itself, Wine's empty ACPI list.  The explanation prints a one-line
// hint beside such an artefact; the verdict does not change.

#include <string>
#include <string_view>

#include "diagnostics/Evidence.h"

namespace Corvane::explain {

using diagnostics::Artefact;  // what a check noted, as the library hands it over

// The description of the network adapter with that MAC address
// ("00:50:56:C0:00:08"), as the machine lists it now; "" when none has it.
std::string adapterDescriptionFor(std::string_view macAddress);

// Why `artefact`, noted by `check`, also turns up on physical machines; ""
// when it does not.  `adapterDescription` is the adapter behind a MAC
// address artefact, when known.
std::string hostArtefactHint(std::string_view check, const Artefact& artefact,
                             std::string_view adapterDescription = {});

}  // namespace Corvane::explain
