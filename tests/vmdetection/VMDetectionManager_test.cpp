// The detection flow with the real detectors on simulated machines: the
// general sign gates the products, the products are asked in their fixed
// order, and a product is still recognised while WMI is down.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/LogCapture.h"
#include "support/SimulatedMachineTest.h"
#include "vmdetection/VMDetectionManager.h"

namespace Corvane::utils::vmdetection {
namespace {

using namespace profile;

// One sign of each product, in the order that breaks ties, with the result it gives.
struct ProductSign {
    std::function<void(MachineProfile&)> give;
    std::pair<int, std::string> result;
};
const std::vector<ProductSign> kProducts = {
    {[](MachineProfile& p) { addProcess(p, L"vboxservice.exe"); }, {4, "VirtualBox"}},
    {[](MachineProfile& p) { addProcess(p, L"vmtoolsd.exe"); }, {6, "VMWare"}},
    {[](MachineProfile& p) { addProcess(p, L"prl_cc.exe"); }, {2, "Parallels"}},
    {[](MachineProfile& p) { addProcess(p, L"qemu-ga.exe"); }, {3, "Qemu"}},
    {[](MachineProfile& p) { addProcess(p, L"VMSrvc.exe"); }, {5, "Hyper-V"}},
    {[](MachineProfile& p) { addRegistryKey(p, L"HKCU", L"SOFTWARE\\Wine"); }, {7, "Wine"}},
    {[](MachineProfile& p) { addProcess(p, L"xenservice.exe"); }, {8, "Xen"}},
};

class VMDetectionManagerTest : public Corvane::testing::SimulatedMachineTest {
protected:
    // The results of two detections in a row on the machine `profile` describes.
    std::vector<std::pair<int, std::string>> detections(int count = 2) {
        start();
        std::vector<std::pair<int, std::string>> results;
        {
            VMDetectionManager manager;
            results.emplace_back(manager.resultType(), manager.resultName());
            for (int i = 0; i < count; ++i) {
                manager.runDetection();
                results.emplace_back(manager.resultType(), manager.resultName());
                if (manager.resultType() != 1) {
                    EXPECT_EQ(manager.getCurrentDetector()->getName(), manager.resultName());
                }
            }
        }
        stop();
        return results;
    }
    std::pair<int, std::string> verdict() { return detections(1).back(); }

    std::pair<int, std::string> kNone{1, ""};
};

TEST_F(VMDetectionManagerTest, TheFirstProductInListOrderWinsAndOnlyAfterAGeneralSign) {
    for (size_t first = 0; first < kProducts.size(); ++first) {
        profile = physicalMachineWithoutSigns();
        for (size_t i = first; i < kProducts.size(); ++i) kProducts[i].give(profile);
        EXPECT_EQ(verdict(), kNone) << "no general sign, products from #" << first;
        profile.system.totalPhysicalMemory = 512ull << 20;
        EXPECT_EQ(verdict(), kProducts[first].result) << "products from #" << first;
    }
}

TEST_F(VMDetectionManagerTest, AGeneralSignAloneGivesNoneAfterEveryProgressLine) {
    Corvane::testing::LogCapture log;
    profile.system.totalPhysicalMemory = 512ull << 20;
    EXPECT_EQ(detections(), (std::vector<std::pair<int, std::string>>{{0, ""}, kNone, kNone}));
    for (const char* line :
         {"Checking VirtualBox process: vboxservice.exe", "Checking VirtualBox process: vboxtray.exe",
          "Checking reg key: HARDWARE\\ACPI\\DSDT\\VBOX__", "Performing WMI query: SELECT * FROM Win32_Bus"})
        EXPECT_EQ(log.countLines(line), 2u) << line;
}

TEST_F(VMDetectionManagerTest, ALaterDetectionThatFindsNothingClearsTheResult) {
    profile.system.totalPhysicalMemory = 512ull << 20;
    addProcess(profile, L"xenservice.exe");
    auto& machine = start();
    VMDetectionManager manager;
    manager.runDetection();
    EXPECT_EQ(manager.resultType(), 8);
    machine.profile().system.totalPhysicalMemory = 16ull << 30;
    manager.runDetection();
    EXPECT_EQ(std::make_pair(manager.resultType(), std::string(manager.resultName())), kNone);
    EXPECT_EQ(manager.getCurrentDetector(), nullptr);
}

TEST_F(VMDetectionManagerTest, AProductIsStillReportedWhileWmiIsDown) {
    for (auto fault : {&WmiFaults::coInitializeSecurity, &WmiFaults::createLocator, &WmiFaults::connectServer}) {
        profile = physicalMachineWithoutSigns();
        profile.wmi.faults.*fault = static_cast<int32_t>(0x80070005);
        profile.system.totalPhysicalMemory = 512ull << 20;
        addProcess(profile, L"vboxservice.exe");
        EXPECT_EQ(verdict(), kProducts[0].result);
    }
}

}  // namespace
}  // namespace Corvane::utils::vmdetection
