#include "vmdetection/VirtualBoxDetection.h"

namespace Corvane::utils::vmdetection {

VirtualBoxDetection::VirtualBoxDetection(platform::WMIHelper* wmi) : VMDetectionDefault("VirtualBox"), wmi(wmi) {}

std::unique_ptr<VMDetectionDefault> VirtualBoxDetection::create(platform::WMIHelper* wmi) { return std::make_unique<VirtualBoxDetection>(wmi); }

std::unique_ptr<VMDetectionDefault> VirtualBoxDetection::clone() const { return create(wmi); }

VMType VirtualBoxDetection::getType() const { return VMType::VirtualBox; }

bool VirtualBoxDetection::checkProcesses() { return false; }  // PLACEHOLDER
bool VirtualBoxDetection::checkMacAddresses() { return false; }  // PLACEHOLDER
bool VirtualBoxDetection::checkWmiMacAddresses() { return false; }  // PLACEHOLDER
bool VirtualBoxDetection::checkRegistryKeys() { return false; }  // PLACEHOLDER
bool VirtualBoxDetection::checkRegistryValues() { return false; }  // PLACEHOLDER
bool VirtualBoxDetection::checkSmbiosTable() { return false; }  // PLACEHOLDER
bool VirtualBoxDetection::checkAcpiTables() { return false; }  // PLACEHOLDER
bool VirtualBoxDetection::checkFiles() { return false; }  // PLACEHOLDER
bool VirtualBoxDetection::checkDirectories() { return false; }  // PLACEHOLDER
bool VirtualBoxDetection::checkDevices() { return false; }  // PLACEHOLDER
bool VirtualBoxDetection::checkWindows() { return false; }  // PLACEHOLDER
bool VirtualBoxDetection::checkNetworkProviders() { return false; }  // PLACEHOLDER
bool VirtualBoxDetection::checkEventLogSources() { return false; }  // PLACEHOLDER
bool VirtualBoxDetection::checkWmiPnpEntities() { return false; }  // PLACEHOLDER
bool VirtualBoxDetection::checkWmiPciDeviceId() { return false; }  // PLACEHOLDER
bool VirtualBoxDetection::checkWmiBuses() { return false; }  // PLACEHOLDER
bool VirtualBoxDetection::checkWmiBaseBoard() { return false; }  // PLACEHOLDER
bool VirtualBoxDetection::checkWmiPnpDevices() { return false; }  // PLACEHOLDER

}  // namespace Corvane::utils::vmdetection
