#include "vmdetection/VMDetectionManager.h"

#include <atomic>

#include "vmdetection/GeneralDetection.h"

namespace Corvane::utils::vmdetection {

namespace {
std::atomic<int> managersConstructed{0};
}

VMDetectionManager::VMDetectionManager() : wmi(L"ROOT\\CIMV2") {
    ++managersConstructed;
    generalDetector = std::make_unique<GeneralDetection>(&wmi);
    detectors = makeProductDetectors(&wmi);
}

VMDetectionManager::~VMDetectionManager() = default;

int VMDetectionManager::constructedCount() { return managersConstructed.load(); }

VMDetectionManager& VMDetectionManager::instance() {
    // A function-local static: one construction even when threads race to the
    // first call, retried when construction throws, destroyed at unload.
    static VMDetectionManager manager;
    return manager;
}

void VMDetectionManager::runDetection() {
    currentDetector.reset();
    vmType = static_cast<int32_t>(VMType::None);
    vmName.clear();

    if (!generalDetector) return;
    if (!generalDetector->detect()) return;

    for (const auto& detector : detectors) {
        if (!detector) continue;
        if (detector->detect()) {
            currentDetector = detector->clone();
            vmType = static_cast<int32_t>(detector->getType());
            vmName = detector->getName();
            return;
        }
    }
}

int32_t VMDetectionManager::resultType() const {
    return currentDetector ? static_cast<int32_t>(currentDetector->getType()) : vmType;
}

const char* VMDetectionManager::resultName() const {
    return currentDetector ? currentDetector->getName().c_str() : vmName.c_str();
}

void VMDetectionManager::replaceDetectors(std::unique_ptr<VMDetectionDefault> general,
                                          std::vector<std::unique_ptr<VMDetectionDefault>> specific) {
    generalDetector = std::move(general);
    detectors = std::move(specific);
    currentDetector.reset();
}

}  // namespace Corvane::utils::vmdetection
