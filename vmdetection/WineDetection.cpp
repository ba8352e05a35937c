#include "vmdetection/WineDetection.h"

namespace Corvane::utils::vmdetection {

WineDetection::WineDetection() : VMDetectionDefault("Wine") {}

std::unique_ptr<VMDetectionDefault> WineDetection::create() { return std::make_unique<WineDetection>(); }

std::unique_ptr<VMDetectionDefault> WineDetection::clone() const { return create(); }

VMType WineDetection::getType() const { return VMType::Wine; }

bool WineDetection::checkLibraryExports() { return false; }  // PLACEHOLDER
bool WineDetection::checkRegistryKeys() { return false; }  // PLACEHOLDER

}  // namespace Corvane::utils::vmdetection
