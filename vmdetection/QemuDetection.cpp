#include "vmdetection/QemuDetection.h"

namespace Corvane::utils::vmdetection {

QemuDetection::QemuDetection() : VMDetectionDefault("Qemu") {}

std::unique_ptr<VMDetectionDefault> QemuDetection::create() { return std::make_unique<QemuDetection>(); }

std::unique_ptr<VMDetectionDefault> QemuDetection::clone() const { return create(); }

VMType QemuDetection::getType() const { return VMType::Qemu; }

bool QemuDetection::checkProcesses() { return false; }  // PLACEHOLDER
bool QemuDetection::checkRegistryValues() { return false; }  // PLACEHOLDER
bool QemuDetection::checkSmbiosTable() { return false; }  // PLACEHOLDER
bool QemuDetection::checkAcpiTables() { return false; }  // PLACEHOLDER

}  // namespace Corvane::utils::vmdetection
