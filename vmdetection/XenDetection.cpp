#include "vmdetection/XenDetection.h"

#include <cstdint>

#include "vmdetection/CommonChecks.h"
#include "vmdetection/SearchWords.h"

namespace Corvane::utils::vmdetection {

XenDetection::XenDetection() : VMDetectionDefault("Xen") {}

std::unique_ptr<VMDetectionDefault> XenDetection::create() { return std::make_unique<XenDetection>(); }

std::unique_ptr<VMDetectionDefault> XenDetection::clone() const { return create(); }

VMType XenDetection::getType() const { return VMType::Xen; }

namespace {

// The service of the Xen PV drivers for Windows.
constexpr const wchar_t* kDriverService[] = {L"xenservice.exe"};

}  // namespace

bool XenDetection::checkProcesses() { return anyProcessRunning(kDriverService); }

namespace {

constexpr uint8_t kMacPrefix[3] = {0x00, 0x16, 0x3E};  // Xen's virtual adapters

}  // namespace

bool XenDetection::checkMacAddresses() { return anyAdapterWithMacPrefix(kMacPrefix); }

void xenSearchWords(const SearchWordVisitor& visit) {
    visitWords(visit, "XenDetection.checkProcesses", kDriverService);
}
}  // namespace Corvane::utils::vmdetection
