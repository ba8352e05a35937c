#include "vmdetection/ParallelsDetection.h"

namespace Corvane::utils::vmdetection {

ParallelsDetection::ParallelsDetection() : VMDetectionDefault("Parallels") {}

std::unique_ptr<VMDetectionDefault> ParallelsDetection::create() { return std::make_unique<ParallelsDetection>(); }

std::unique_ptr<VMDetectionDefault> ParallelsDetection::clone() const { return create(); }

VMType ParallelsDetection::getType() const { return VMType::Parallels; }

bool ParallelsDetection::checkProcesses() { return false; }  // PLACEHOLDER
bool ParallelsDetection::checkMacAddresses() { return false; }  // PLACEHOLDER

}  // namespace Corvane::utils::vmdetection
