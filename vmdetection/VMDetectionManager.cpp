#include "vmdetection/VMDetectionManager.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <exception>
#include <new>

#include "vmdetection/GeneralDetection.h"

namespace Corvane::utils::vmdetection {

namespace {
std::atomic<int> managersConstructed{0};

// The manager's one-time construction: an INIT_ONCE and raw storage, both
// constant data, so the DLL needs no guarded static and no threading library.
INIT_ONCE managerOnce = INIT_ONCE_STATIC_INIT;
alignas(VMDetectionManager) unsigned char managerStorage[sizeof(VMDetectionManager)];

VMDetectionManager& storedManager() { return *std::launder(reinterpret_cast<VMDetectionManager*>(managerStorage)); }

void destroyManager() { storedManager().~VMDetectionManager(); }

// Runs on the one thread that constructs; the others wait in
// InitOnceExecuteOnce.  An exception cannot cross Windows' frames: it is
// carried out in the context, the once stays open, and the next call tries again.
BOOL CALLBACK constructManager(PINIT_ONCE, PVOID context, PVOID*) {
    try {
        new (managerStorage) VMDetectionManager();
    } catch (...) {
        *static_cast<std::exception_ptr*>(context) = std::current_exception();
        return FALSE;
    }
    // Destroyed by the runtime's exit handling when the library is unloaded.
    std::atexit(destroyManager);
    return TRUE;
}
}  // namespace

VMDetectionManager::VMDetectionManager() : wmi(L"ROOT\\CIMV2") {
    ++managersConstructed;
    generalDetector = std::make_unique<GeneralDetection>(&wmi);
    detectors = makeProductDetectors(&wmi);
}

VMDetectionManager::~VMDetectionManager() = default;

int VMDetectionManager::constructedCount() { return managersConstructed.load(); }

VMDetectionManager& VMDetectionManager::instance() {
    std::exception_ptr failure;
    if (!InitOnceExecuteOnce(&managerOnce, constructManager, &failure, nullptr)) {
        if (failure) std::rethrow_exception(failure);
        throw std::bad_alloc();  // the once itself failed: no manager to give
    }
    return storedManager();
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
