#pragma once
#include <memory>

#include "vmdetection/VMDetectionDefault.h"

namespace Corvane::utils::vmdetection {

// Recognises a Parallels guest by its tools processes and MAC prefix.
class ParallelsDetection : public VMDetectionDefault {
public:
    static constexpr char kIdentifier[] = "ParallelsDetection";

    ParallelsDetection();
    static std::unique_ptr<VMDetectionDefault> create();

    std::unique_ptr<VMDetectionDefault> clone() const override;
    VMType getType() const override;

    bool checkProcesses() override;
    bool checkMacAddresses() override;
};

}  // namespace Corvane::utils::vmdetection
