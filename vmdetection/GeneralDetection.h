#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/WMIHelper.h"
#include "vmdetection/VMDetectionDefault.h"

namespace Corvane::utils::vmdetection {

// Signs of a virtual machine of any make.  The manager asks the product
// detectors only when one of these fourteen steps shows a sign.
class GeneralDetection : public VMDetectionDefault {
public:
    static constexpr char kIdentifier[] = "GeneralDetection";

    explicit GeneralDetection(platform::WMIHelper* wmi);

    std::unique_ptr<VMDetectionDefault> clone() const override;
    VMType getType() const override;

    // True at the first step, in order, that shows a sign.
    bool detect() override;

    // The steps in the order detect() evaluates them; tools that explain a
    // verdict walk the same table.
    struct Step {
        const char* name;
        bool (GeneralDetection::*test)();
    };
    static constexpr size_t kStepCount = 14;
    static const std::array<Step, kStepCount>& steps();

    bool checkDiskDriveHardwareIds();
    bool checkMemorySize();
    bool checkBiosSerialNumber();
    bool checkComputerSystemModel();
    bool checkComputerSystemManufacturer();
    bool checkProcessorId();
    bool checkPowerCapabilities();
    bool checkVideoControllerCaption();
    bool checkCacheMemoryCount();
    bool checkPhysicalMemoryCount();
    bool checkSmbiosMemoryCount();
    bool checkCimMemoryCount();
    bool checkPhysicalConnectorCount();
    bool checkSlotCount();

    // Rows of the class, or -1 when the query fails.
    int32_t countWmiInstances(const std::wstring& className);

private:
    // A test of one WMI value: true when the VARIANT shows a sign; `shown`
    // receives what it saw, for the evidence.
    using ValueTest = bool (*)(const VARIANT& value, std::wstring& shown);

    // The first row's `property` of `className` put to `test`.
    bool checkWmiValue(const wchar_t* className, const wchar_t* property, ValueTest test);
    // A class without a single instance.
    bool checkEmptyWmiClass(const wchar_t* className);

    platform::WMIHelper* wmi;  // the manager's; not owned
};

}  // namespace Corvane::utils::vmdetection
