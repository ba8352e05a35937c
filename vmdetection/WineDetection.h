#pragma once
#include <memory>

#include "vmdetection/VMDetectionDefault.h"

namespace Corvane::utils::vmdetection {

// Recognises the Wine compatibility layer.
class WineDetection : public VMDetectionDefault {
public:
    static constexpr char kIdentifier[] = "WineDetection";

    WineDetection();
    static std::unique_ptr<VMDetectionDefault> create();

    std::unique_ptr<VMDetectionDefault> clone() const override;
    VMType getType() const override;

    bool checkLibraryExports() override;
    bool checkRegistryKeys() override;
};

}  // namespace Corvane::utils::vmdetection
