#include "vmdetection/ParallelsDetection.h"

#include <cstdint>

#include "vmdetection/CommonChecks.h"
#include "vmdetection/SearchWords.h"

namespace Corvane::utils::vmdetection {

ParallelsDetection::ParallelsDetection() : VMDetectionDefault("Parallels") {}

std::unique_ptr<VMDetectionDefault> ParallelsDetection::create() { return std::make_unique<ParallelsDetection>(); }

std::unique_ptr<VMDetectionDefault> ParallelsDetection::clone() const { return create(); }

VMType ParallelsDetection::getType() const { return VMType::Parallels; }

namespace {

// Parallels Tools: the control centre and the tools service.
constexpr const wchar_t* kToolsProcesses[] = {L"prl_cc.exe", L"prl_tools.exe"};

}  // namespace

bool ParallelsDetection::checkProcesses() { return anyProcessRunning(kToolsProcesses); }

namespace {

constexpr uint8_t kMacPrefix[3] = {0x00, 0x1C, 0x42};  // Parallels' virtual adapters

}  // namespace

bool ParallelsDetection::checkMacAddresses() { return anyAdapterWithMacPrefix(kMacPrefix); }

void parallelsSearchWords(const SearchWordVisitor& visit) {
    visitWords(visit, "ParallelsDetection.checkProcesses", kToolsProcesses);
}
}  // namespace Corvane::utils::vmdetection
