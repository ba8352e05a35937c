#include "vmdetection/VirtualPCDetection.h"

namespace Corvane::utils::vmdetection {

VirtualPCDetection::VirtualPCDetection() : VMDetectionDefault("Hyper-V") {}

std::unique_ptr<VMDetectionDefault> VirtualPCDetection::create() { return std::make_unique<VirtualPCDetection>(); }

std::unique_ptr<VMDetectionDefault> VirtualPCDetection::clone() const { return create(); }

VMType VirtualPCDetection::getType() const { return VMType::VirtualPC; }

bool VirtualPCDetection::checkProcesses() { return false; }  // PLACEHOLDER
bool VirtualPCDetection::checkRegistryKeys() { return false; }  // PLACEHOLDER

}  // namespace Corvane::utils::vmdetection
