#pragma once
// The one-line JSON of `detect --json` and `replay --json`.  Its keys are the
// ones every JSON of corvane-vmd uses for the same facts (docs/cli.md, "JSON
// vocabulary"): type, name, libraryVersion, machine.

#include <optional>
#include <string>

#include "toolkit/explain/Explanation.h"

namespace Corvane::cli {

// {"type":4,"name":"VirtualBox","libraryVersion":"1.0.0.0","machine":"this machine"};
// libraryVersion is null when no CorvaneVMD.dll answered.
std::string verdictJson(const explain::Verdict& verdict, const std::optional<std::string>& libraryVersion,
                        const std::string& machine);

}  // namespace Corvane::cli
