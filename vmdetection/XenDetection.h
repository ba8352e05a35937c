#pragma once
#include <memory>

#include "vmdetection/VMDetectionDefault.h"

namespace Corvane::utils::vmdetection {

// Recognises a Xen guest by its guest service and MAC prefix.
class XenDetection : public VMDetectionDefault {
public:
    static constexpr char kIdentifier[] = "XenDetection";

    XenDetection();
    static std::unique_ptr<VMDetectionDefault> create();

    std::unique_ptr<VMDetectionDefault> clone() const override;
    VMType getType() const override;

    bool checkProcesses() override;
    bool checkMacAddresses() override;
};

}  // namespace Corvane::utils::vmdetection
