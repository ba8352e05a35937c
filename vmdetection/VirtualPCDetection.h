#pragma once
#include <memory>

#include "vmdetection/VMDetectionDefault.h"

namespace Corvane::utils::vmdetection {

// Recognises a Hyper-V or Virtual PC guest.
class VirtualPCDetection : public VMDetectionDefault {
public:
    static constexpr char kIdentifier[] = "VirtualPCDetection";

    VirtualPCDetection();
    static std::unique_ptr<VMDetectionDefault> create();

    std::unique_ptr<VMDetectionDefault> clone() const override;
    VMType getType() const override;

    bool checkProcesses() override;
    bool checkRegistryKeys() override;
};

}  // namespace Corvane::utils::vmdetection
