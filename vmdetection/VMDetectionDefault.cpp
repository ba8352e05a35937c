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
    static constexpr std::array<CheckSlot, kCheckCount> slots = {{
        {"checkAdapterDescriptions", &VMDetectionDefault::checkAdapterDescriptions},
        {"checkProcesses", &VMDetectionDefault::checkProcesses},
        {"checkLibraryExports", &VMDetectionDefault::checkLibraryExports},
        {"checkMacAddresses", &VMDetectionDefault::checkMacAddresses},
        {"checkWmiMacAddresses", &VMDetectionDefault::checkWmiMacAddresses},
        {"checkRegistryKeys", &VMDetectionDefault::checkRegistryKeys},
        {"checkRegistryValues", &VMDetectionDefault::checkRegistryValues},
        {"checkSmbiosTable", &VMDetectionDefault::checkSmbiosTable},
        {"checkAcpiTables", &VMDetectionDefault::checkAcpiTables},
        {"checkFiles", &VMDetectionDefault::checkFiles},
        {"checkDirectories", &VMDetectionDefault::checkDirectories},
        {"checkDevices", &VMDetectionDefault::checkDevices},
        {"checkWindows", &VMDetectionDefault::checkWindows},
        {"checkNetworkProviders", &VMDetectionDefault::checkNetworkProviders},
        {"checkEventLogSources", &VMDetectionDefault::checkEventLogSources},
        {"checkWmiPnpEntities", &VMDetectionDefault::checkWmiPnpEntities},
        {"checkWmiPciDeviceId", &VMDetectionDefault::checkWmiPciDeviceId},
        {"checkWmiBuses", &VMDetectionDefault::checkWmiBuses},
        {"checkWmiBaseBoard", &VMDetectionDefault::checkWmiBaseBoard},
        {"checkWmiPnpDevices", &VMDetectionDefault::checkWmiPnpDevices},
    }};
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
