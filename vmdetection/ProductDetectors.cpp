#include "vmdetection/ParallelsDetection.h"
#include "vmdetection/QemuDetection.h"
#include "vmdetection/VMDetectionManager.h"
#include "vmdetection/VMWareDetection.h"
#include "vmdetection/VirtualBoxDetection.h"
#include "vmdetection/VirtualPCDetection.h"
#include "vmdetection/WineDetection.h"
#include "vmdetection/XenDetection.h"

namespace Corvane::utils::vmdetection {

std::vector<std::unique_ptr<VMDetectionDefault>> makeProductDetectors(platform::WMIHelper* wmi) {
    std::vector<std::unique_ptr<VMDetectionDefault>> detectors;
    detectors.push_back(VirtualBoxDetection::create(wmi));
    detectors.push_back(VMWareDetection::create());
    detectors.push_back(ParallelsDetection::create());
    detectors.push_back(QemuDetection::create());
    detectors.push_back(VirtualPCDetection::create());
    detectors.push_back(WineDetection::create());
    detectors.push_back(XenDetection::create());
    return detectors;
}

}  // namespace Corvane::utils::vmdetection
