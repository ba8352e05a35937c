#include "vmdetection/VMDetectionDefault.h"

#include <utility>

namespace Corvane::utils::vmdetection {

VMDetectionDefault::VMDetectionDefault(std::string name) : name(std::move(name)) {}

VMDetectionDefault::~VMDetectionDefault() = default;

bool VMDetectionDefault::checkAdapterDescriptions() { return false; }
bool VMDetectionDefault::checkProcesses() { return false; }
bool VMDetectionDefault::checkLibraryExports() { return false; }
bool VMDetectionDefault::checkMacAddresses() { return false; }
bool VMDetectionDefault::checkWmiMacAddresses() { return false; }
bool VMDetectionDefault::checkRegistryKeys() { return false; }
bool VMDetectionDefault::checkRegistryValues() { return false; }
bool VMDetectionDefault::checkSmbiosTable() { return false; }
bool VMDetectionDefault::checkAcpiTables() { return false; }
bool VMDetectionDefault::checkFiles() { return false; }
bool VMDetectionDefault::checkDirectories() { return false; }
bool VMDetectionDefault::checkDevices() { return false; }
bool VMDetectionDefault::checkWindows() { return false; }
bool VMDetectionDefault::checkNetworkProviders() { return false; }
bool VMDetectionDefault::checkEventLogSources() { return false; }
bool VMDetectionDefault::checkWmiPnpEntities() { return false; }
bool VMDetectionDefault::checkWmiPciDeviceId() { return false; }
bool VMDetectionDefault::checkWmiBuses() { return false; }
bool VMDetectionDefault::checkWmiBaseBoard() { return false; }
bool VMDetectionDefault::checkWmiPnpDevices() { return false; }

const std::array<VMDetectionDefault::CheckSlot, VMDetectionDefault::kCheckCount>& VMDetectionDefault::checkSlots() {
#define CORVANE_COUNT_CHECK(check) +1
    static_assert(0 CORVANE_DETECTOR_CHECKS(CORVANE_COUNT_CHECK) == kCheckCount, "one slot per listed check");
#undef CORVANE_COUNT_CHECK
#define CORVANE_CHECK_SLOT(check) {#check, &VMDetectionDefault::check},
    static constexpr std::array<CheckSlot, kCheckCount> slots = {{CORVANE_DETECTOR_CHECKS(CORVANE_CHECK_SLOT)}};
#undef CORVANE_CHECK_SLOT
    return slots;
}

bool VMDetectionDefault::detect() {
    for (const CheckSlot& slot : checkSlots()) {
        if ((this->*slot.check)()) return true;
    }
    return false;
}

VMType VMDetectionDefault::getType() const { return VMType::Undefined; }

const std::string& VMDetectionDefault::getName() const { return name; }

}  // namespace Corvane::utils::vmdetection
