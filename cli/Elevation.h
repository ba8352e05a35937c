#pragma once
// Whether this process runs elevated, for the explanation's context: some
// facts (a few registry keys, device objects) answer differently to an
// administrator.

#include <string>

namespace Corvane::cli {

// "elevated", "not elevated", or "elevation not known (...)".
std::string describeElevation();

}  // namespace Corvane::cli
