#pragma once
#include <memory>

#include "vmdetection/VMDetectionDefault.h"

namespace Corvane::utils::vmdetection {

// Recognises a QEMU guest.
class QemuDetection : public VMDetectionDefault {
public:
    static constexpr char kIdentifier[] = "QemuDetection";

    QemuDetection();
    static std::unique_ptr<VMDetectionDefault> create();

    std::unique_ptr<VMDetectionDefault> clone() const override;
    VMType getType() const override;

    bool checkProcesses() override;
    bool checkRegistryValues() override;
    bool checkSmbiosTable() override;
    bool checkAcpiTables() override;
};

}  // namespace Corvane::utils::vmdetection
