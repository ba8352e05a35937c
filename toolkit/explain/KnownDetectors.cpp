#include "toolkit/explain/CheckOwnership.h"

#include <memory>

namespace Corvane::diagnostics::explain {
namespace {

using utils::vmdetection::VMDetectionDefault;

// A detector that overrides nothing: its slots resolve to the base class's
// own checks.
class BareDetector final : public VMDetectionDefault {
public:
    BareDetector() : VMDetectionDefault("") {}
    std::unique_ptr<VMDetectionDefault> clone() const override { return std::make_unique<BareDetector>(); }
};

using CheckFunction = bool (*)(VMDetectionDefault*);

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpmf-conversions"
// GCC resolves a bound pointer to a virtual member through the object's
// virtual table into the function that would run: the override, or the
// base class's default.
CheckFunction resolve(VMDetectionDefault& detector, bool (VMDetectionDefault::*check)()) {
    return (CheckFunction)(detector.*check);  // NOLINT: the extension needs this cast
}
#pragma GCC diagnostic pop
constexpr bool kCanResolve = true;
#else
CheckFunction resolve(VMDetectionDefault&, bool (VMDetectionDefault::*)()) { return nullptr; }
constexpr bool kCanResolve = false;  // every check then counts as the detector's own
#endif

}  // namespace

OwnChecks ownChecks(VMDetectionDefault& detector) {
    OwnChecks own;
    own.fill(true);
    if (!kCanResolve) return own;
    BareDetector bare;
    const auto& slots = VMDetectionDefault::checkSlots();
    for (size_t i = 0; i < slots.size(); ++i) {
        own[i] = resolve(detector, slots[i].check) != resolve(bare, slots[i].check);
    }
    return own;
}

}  // namespace Corvane::diagnostics::explain
