#pragma once
#include <memory>

#include "vmdetection/VMDetectionDefault.h"
#include "platform/WMIHelper.h"

namespace Corvane::utils::vmdetection {

// Recognises a VirtualBox guest.
class VirtualBoxDetection : public VMDetectionDefault {
public:
    static constexpr char kIdentifier[] = "VirtualBoxDetection";

    explicit VirtualBoxDetection(platform::WMIHelper* wmi);
    static std::unique_ptr<VMDetectionDefault> create(platform::WMIHelper* wmi);

    std::unique_ptr<VMDetectionDefault> clone() const override;
    VMType getType() const override;

    bool checkProcesses() override;
    bool checkMacAddresses() override;
    bool checkWmiMacAddresses() override;
    bool checkRegistryKeys() override;
    bool checkRegistryValues() override;
    bool checkSmbiosTable() override;
    bool checkAcpiTables() override;
    bool checkFiles() override;
    bool checkDirectories() override;
    bool checkDevices() override;
    bool checkWindows() override;
    bool checkNetworkProviders() override;
    bool checkEventLogSources() override;
    bool checkWmiPnpEntities() override;
    bool checkWmiPciDeviceId() override;
    bool checkWmiBuses() override;
    bool checkWmiBaseBoard() override;
    bool checkWmiPnpDevices() override;

private:
    platform::WMIHelper* wmi;  // the manager's; not owned
};

}  // namespace Corvane::utils::vmdetection
