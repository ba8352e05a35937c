#include "vmdetection/VirtualPCDetection.h"

#include "vmdetection/CommonChecks.h"

namespace Corvane::utils::vmdetection {

VirtualPCDetection::VirtualPCDetection() : VMDetectionDefault("Hyper-V") {}

std::unique_ptr<VMDetectionDefault> VirtualPCDetection::create() { return std::make_unique<VirtualPCDetection>(); }

std::unique_ptr<VMDetectionDefault> VirtualPCDetection::clone() const { return create(); }

VMType VirtualPCDetection::getType() const { return VMType::VirtualPC; }

// The Virtual Machine Additions services, names compared with their capitals.
bool VirtualPCDetection::checkProcesses() { return anyProcessRunning({L"VMSrvc.exe", L"VMUSrvc.exe"}); }

// The guest parameters key of the integration services, in this process's own
// registry view.
bool VirtualPCDetection::checkRegistryKeys() {
    return registryKeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Virtual Machine\\Guest\\Parameters");
}

}  // namespace Corvane::utils::vmdetection
