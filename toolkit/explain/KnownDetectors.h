#pragma once
// What the tools know of each detector class: the identifier that reports and
// profiles use for it, and which of the twenty checks it has itself.  A check
// it inherits unchanged is the base class's, which says no without asking
// Windows; the explanation lists those apart.

#include <array>
#include <optional>
#include <string_view>
#include <type_traits>

#include "vmdetection/VMDetectionDefault.h"

namespace Corvane::explain {

using OwnChecks = std::array<bool, utils::vmdetection::VMDetectionDefault::kCheckCount>;

// In slot order: true where Detector declares the check.  &Detector::checkX
// names the base class's member exactly when Detector inherits checkX.
template <class Detector>
constexpr OwnChecks ownChecksOf() {
    using Inherited = bool (utils::vmdetection::VMDetectionDefault::*)();
#define CORVANE_DECLARES(check) !std::is_same_v<decltype(&Detector::check), Inherited>,
    return {{CORVANE_DETECTOR_CHECKS(CORVANE_DECLARES)}};
#undef CORVANE_DECLARES
}

struct KnownDetector {
    std::string_view identifier;  // the class's kIdentifier: "VirtualBoxDetection"
    OwnChecks own;
};

// The entry for the detector's class: the general detector and the seven
// product detectors.  Empty for any other class (a test's stand-in).
std::optional<KnownDetector> knownDetector(const utils::vmdetection::VMDetectionDefault& detector);

}  // namespace Corvane::explain
