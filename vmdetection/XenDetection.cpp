#include "vmdetection/XenDetection.h"

namespace Corvane::utils::vmdetection {

XenDetection::XenDetection() : VMDetectionDefault("Xen") {}

std::unique_ptr<VMDetectionDefault> XenDetection::create() { return std::make_unique<XenDetection>(); }

std::unique_ptr<VMDetectionDefault> XenDetection::clone() const { return create(); }

VMType XenDetection::getType() const { return VMType::Xen; }

bool XenDetection::checkProcesses() { return false; }  // PLACEHOLDER
bool XenDetection::checkMacAddresses() { return false; }  // PLACEHOLDER

}  // namespace Corvane::utils::vmdetection
