#include "vmdetection/GeneralDetection.h"

namespace Corvane::utils::vmdetection {
// PLACEHOLDER: the fourteen steps arrive with the WMI work.
GeneralDetection::GeneralDetection(platform::WMIHelper* wmi) : VMDetectionDefault("Unknown Virtual Machine"), wmi(wmi) {}
std::unique_ptr<VMDetectionDefault> GeneralDetection::clone() const { return std::make_unique<GeneralDetection>(wmi); }
VMType GeneralDetection::getType() const { return VMType::UnknownVM; }
bool GeneralDetection::detect() { return false; }
}  // namespace Corvane::utils::vmdetection
