#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/WMIHelper.h"
#include "vmdetection/VMDetectionDefault.h"

namespace Corvane::utils::vmdetection {

// The process-wide owner of the detectors, the WMI connection and the result
// of the last detection.
class VMDetectionManager {
public:
    // Builds the WMI connection, the general detector and the seven product
    // detectors in their fixed order.
    VMDetectionManager();
    ~VMDetectionManager();
    VMDetectionManager(const VMDetectionManager&) = delete;
    VMDetectionManager& operator=(const VMDetectionManager&) = delete;

    // The process-wide manager, built by the first caller; concurrent first
    // callers wait for that one construction.
    static VMDetectionManager& instance();

    // One detection: the general detector decides whether the product
    // detectors are asked; the first product recognised wins.
    void runDetection();

    int32_t resultType() const;
    const char* resultName() const;

    // Read access for tools that explain a verdict, and for tests.
    VMDetectionDefault* getGeneralDetector() const { return generalDetector.get(); }
    const std::vector<std::unique_ptr<VMDetectionDefault>>& getDetectors() const { return detectors; }
    const VMDetectionDefault* getCurrentDetector() const { return currentDetector.get(); }
    platform::WMIHelper& getWmi() { return wmi; }

    // How many managers this process has constructed (diagnostics and tests).
    static int constructedCount();

    // Replaces the detectors (tests of the detection flow).
    void replaceDetectors(std::unique_ptr<VMDetectionDefault> general,
                          std::vector<std::unique_ptr<VMDetectionDefault>> specific);

private:
    std::unique_ptr<VMDetectionDefault> generalDetector;
    std::unique_ptr<VMDetectionDefault> currentDetector;
    std::vector<std::unique_ptr<VMDetectionDefault>> detectors;
    int32_t vmType = static_cast<int32_t>(VMType::Undefined);
    std::string vmName;
    platform::WMIHelper wmi;
};

// The seven product detectors in the order that breaks ties.
std::vector<std::unique_ptr<VMDetectionDefault>> makeProductDetectors(platform::WMIHelper* wmi);

}  // namespace Corvane::utils::vmdetection
