#include "vmdetection/VMWareDetection.h"

namespace Corvane::utils::vmdetection {

VMWareDetection::VMWareDetection() : VMDetectionDefault("VMWare") {}

std::unique_ptr<VMDetectionDefault> VMWareDetection::create() { return std::make_unique<VMWareDetection>(); }

std::unique_ptr<VMDetectionDefault> VMWareDetection::clone() const { return create(); }

VMType VMWareDetection::getType() const { return VMType::VMWare; }

bool VMWareDetection::checkAdapterDescriptions() { return false; }  // PLACEHOLDER
bool VMWareDetection::checkProcesses() { return false; }  // PLACEHOLDER
bool VMWareDetection::checkMacAddresses() { return false; }  // PLACEHOLDER
bool VMWareDetection::checkRegistryKeys() { return false; }  // PLACEHOLDER
bool VMWareDetection::checkRegistryValues() { return false; }  // PLACEHOLDER
bool VMWareDetection::checkSmbiosTable() { return false; }  // PLACEHOLDER
bool VMWareDetection::checkAcpiTables() { return false; }  // PLACEHOLDER
bool VMWareDetection::checkFiles() { return false; }  // PLACEHOLDER
bool VMWareDetection::checkDirectories() { return false; }  // PLACEHOLDER
bool VMWareDetection::checkDevices() { return false; }  // PLACEHOLDER

}  // namespace Corvane::utils::vmdetection
