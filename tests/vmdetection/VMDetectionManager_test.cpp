// The detection flow with the real detectors on simulated machines: the
// general sign gates the products, the products are asked in their fixed
// order, a product is still recognised while WMI is down, and every call of
// a whole detection hands Windows exactly the documented flags.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
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

// KEY_READ with no WOW64 view flag; GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING
// and FILE_ATTRIBUTE_NORMAL for devices and pipes; no access, all sharing,
// OPEN_EXISTING and FILE_FLAG_BACKUP_SEMANTICS for the status of a path.
const std::map<std::string, std::string> kDocumentedFlags = {
    {"RegOpenKeyExW", "options=0 access=0x00020019"},
    {"CreateFileW device", "access=0x80000000 share=0x00000001 disposition=3 flags=0x00000080"},
    {"CreateFileW path", "access=0x00000000 share=0x00000007 disposition=3 flags=0x02000000"},
    {"CoInitializeSecurity",
     "descriptor=null authServices=-1/null reserved1=null authnLevel=0 impLevel=3 authList=null "
     "capabilities=0x00000000 reserved3=null"},
    {"CoSetProxyBlanket",
     "authnService=10 authzService=0 principal=null authnLevel=3 impLevel=3 identity=null "
     "capabilities=0x00000000"},
    {"ConnectServer", "locale=MS_409 flags=0x00000080"},
    {"ExecQuery", "language=WQL flags=0x00000030"},
    {"Next", "timeout=0xFFFFFFFF count=1"},
};

TEST_F(VMDetectionManagerTest, EveryCallHandsWindowsExactlyTheDocumentedFlags) {
    profile.system.totalPhysicalMemory = 512ull << 20;  // a general sign, then every product check runs
    profile::addFile(profile, L"C:\\Windows\\System32\\drivers\\vmnet.sys\\inner.txt");  // a folder named like a driver
    auto& machine = start();
    {
        VMDetectionManager manager;
        manager.runDetection();
        EXPECT_EQ(manager.resultType(), 1);
    }
    std::set<std::string> seen;
    for (const auto& call : machine.calls()) {
        std::string kind = call.function;
        if (kind == "CreateFileW") kind += call.argument.rfind("\\\\.\\", 0) == 0 ? " device" : " path";
        auto expected = kDocumentedFlags.find(kind);
        if (expected == kDocumentedFlags.end()) continue;
        seen.insert(kind);
        EXPECT_EQ(call.flags, expected->second) << kind << "(" << call.argument << ")";
    }
    for (const auto& [kind, flags] : kDocumentedFlags) EXPECT_TRUE(seen.count(kind)) << kind << " was never called";
}

}  // namespace
}  // namespace Corvane::utils::vmdetection
