#include "toolkit/explain/KnownDetectors.h"

#include <typeinfo>

#include "vmdetection/GeneralDetection.h"
#include "vmdetection/ParallelsDetection.h"
#include "vmdetection/QemuDetection.h"
#include "vmdetection/VMWareDetection.h"
#include "vmdetection/VirtualBoxDetection.h"
#include "vmdetection/VirtualPCDetection.h"
#include "vmdetection/WineDetection.h"
#include "vmdetection/XenDetection.h"

namespace Corvane::explain {
namespace {

using namespace utils::vmdetection;

struct Entry {
    const std::type_info& type;
    KnownDetector known;
};

template <class Detector>
Entry entryFor() {
    return {typeid(Detector), {Detector::kIdentifier, ownChecksOf<Detector>()}};
}

}  // namespace

std::optional<KnownDetector> knownDetector(const VMDetectionDefault& detector) {
    static const Entry entries[] = {
        entryFor<GeneralDetection>(),   entryFor<VirtualBoxDetection>(), entryFor<VMWareDetection>(),
        entryFor<ParallelsDetection>(), entryFor<QemuDetection>(),       entryFor<VirtualPCDetection>(),
        entryFor<WineDetection>(),      entryFor<XenDetection>(),
    };
    for (const Entry& entry : entries) {
        if (typeid(detector) == entry.type) return entry.known;
    }
    return std::nullopt;
}

}  // namespace Corvane::explain
