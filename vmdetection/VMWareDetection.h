#pragma once
#include <memory>

#include "vmdetection/VMDetectionDefault.h"

namespace Corvane::utils::vmdetection {

// Recognises a guest of a VMware hypervisor.
class VMWareDetection : public VMDetectionDefault {
public:
    static constexpr char kIdentifier[] = "VMWareDetection";

    VMWareDetection();
    static std::unique_ptr<VMDetectionDefault> create();

    std::unique_ptr<VMDetectionDefault> clone() const override;
    VMType getType() const override;

    bool checkAdapterDescriptions() override;
    bool checkProcesses() override;
    bool checkMacAddresses() override;
    bool checkRegistryKeys() override;
    bool checkRegistryValues() override;
    bool checkSmbiosTable() override;
    bool checkAcpiTables() override;
    bool checkFiles() override;
    bool checkDirectories() override;
    bool checkDevices() override;
};

}  // namespace Corvane::utils::vmdetection
