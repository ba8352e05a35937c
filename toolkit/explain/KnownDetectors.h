#pragma once
// Which of the twenty checks a detector has itself.  A check it inherits
// unchanged is the base class's, which says no without asking Windows; the
// explanation lists those apart.  The answer comes from the detector's class
// (does it override the slot?), never from a list kept by hand.

#include <array>

#include "vmdetection/VMDetectionDefault.h"

namespace Corvane::diagnostics::explain {

using OwnChecks = std::array<bool, utils::vmdetection::VMDetectionDefault::kCheckCount>;

// In slot order: true where the detector's class overrides the check.
OwnChecks ownChecks(utils::vmdetection::VMDetectionDefault& detector);

}  // namespace Corvane::diagnostics::explain
