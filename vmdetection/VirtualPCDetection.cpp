#include "vmdetection/VirtualPCDetection.h"

#include "vmdetection/CommonChecks.h"
#include "vmdetection/SearchWords.h"

namespace Corvane::utils::vmdetection {

VirtualPCDetection::VirtualPCDetection() : VMDetectionDefault("Hyper-V") {}

std::unique_ptr<VMDetectionDefault> VirtualPCDetection::create() { return std::make_unique<VirtualPCDetection>(); }

std::unique_ptr<VMDetectionDefault> VirtualPCDetection::clone() const { return create(); }

VMType VirtualPCDetection::getType() const { return VMType::VirtualPC; }

namespace {

// The Virtual Machine Additions services, names compared with their capitals.
constexpr const wchar_t* kAdditionsProcesses[] = {L"VMSrvc.exe", L"VMUSrvc.exe"};
// The guest parameters key of the integration services, in this process's own
// registry view.
constexpr const wchar_t* kGuestParametersKey[] = {L"SOFTWARE\\Microsoft\\Virtual Machine\\Guest\\Parameters"};

}  // namespace

bool VirtualPCDetection::checkProcesses() { return anyProcessRunning(kAdditionsProcesses); }

bool VirtualPCDetection::checkRegistryKeys() { return registryKeyExists(HKEY_LOCAL_MACHINE, kGuestParametersKey[0]); }

void virtualPCSearchWords(const SearchWordVisitor& visit) {
    visitWords(visit, "VirtualPCDetection.checkProcesses", kAdditionsProcesses);
    visitWords(visit, "VirtualPCDetection.checkRegistryKeys", kGuestParametersKey);
}

}  // namespace Corvane::utils::vmdetection
