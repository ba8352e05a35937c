#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vmdetection/VMDetectionDefault.h"

namespace Corvane::utils::vmdetection {
namespace {

// A detector whose checks answer from a table and record the order of calls.
class ScriptedDetection : public VMDetectionDefault {
public:
    explicit ScriptedDetection(int trueSlot = -1) : VMDetectionDefault("Scripted"), trueSlot_(trueSlot) {}
    std::unique_ptr<VMDetectionDefault> clone() const override { return std::make_unique<ScriptedDetection>(trueSlot_); }
    VMType getType() const override { return VMType::Qemu; }

    bool checkAdapterDescriptions() override { return answer(0); }
    bool checkProcesses() override { return answer(1); }
    bool checkLibraryExports() override { return answer(2); }
    bool checkMacAddresses() override { return answer(3); }
    bool checkWmiMacAddresses() override { return answer(4); }
    bool checkRegistryKeys() override { return answer(5); }
    bool checkRegistryValues() override { return answer(6); }
    bool checkSmbiosTable() override { return answer(7); }
    bool checkAcpiTables() override { return answer(8); }
    bool checkFiles() override { return answer(9); }
    bool checkDirectories() override { return answer(10); }
    bool checkDevices() override { return answer(11); }
    bool checkWindows() override { return answer(12); }
    bool checkNetworkProviders() override { return answer(13); }
    bool checkEventLogSources() override { return answer(14); }
    bool checkWmiPnpEntities() override { return answer(15); }
    bool checkWmiPciDeviceId() override { return answer(16); }
    bool checkWmiBuses() override { return answer(17); }
    bool checkWmiBaseBoard() override { return answer(18); }
    bool checkWmiPnpDevices() override { return answer(19); }

    std::vector<int> calls;

private:
    bool answer(int slot) {
        calls.push_back(slot);
        return slot == trueSlot_;
    }
    int trueSlot_;
};

class PlainDetection : public VMDetectionDefault {
public:
    PlainDetection() : VMDetectionDefault("Plain") {}
    std::unique_ptr<VMDetectionDefault> clone() const override { return std::make_unique<PlainDetection>(); }
};

TEST(VMDetectionDefault, DetectAsksAllTwentyChecksInSlotOrderWhenNoneFires) {
    ScriptedDetection detector;
    EXPECT_FALSE(detector.detect());
    std::vector<int> expected;
    for (int slot = 0; slot < 20; ++slot) expected.push_back(slot);
    EXPECT_EQ(detector.calls, expected);
}

TEST(VMDetectionDefault, DetectStopsAtTheFirstCheckThatFires) {
    ScriptedDetection detector(5);
    EXPECT_TRUE(detector.detect());
    EXPECT_EQ(detector.calls, (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

TEST(VMDetectionDefault, TheSlotTableNamesEveryCheckOnceInOrder) {
    const auto& slots = VMDetectionDefault::checkSlots();
    EXPECT_STREQ(slots.front().name, "checkAdapterDescriptions");
    EXPECT_STREQ(slots[8].name, "checkAcpiTables");
    EXPECT_STREQ(slots.back().name, "checkWmiPnpDevices");
    ScriptedDetection detector(19);
    for (size_t i = 0; i < slots.size(); ++i) {
        detector.calls.clear();
        EXPECT_EQ((detector.*slots[i].check)(), i == 19);
        EXPECT_EQ(detector.calls, std::vector<int>{static_cast<int>(i)}) << slots[i].name;
    }
}

TEST(VMDetectionDefault, ADetectorThatOverridesNothingDetectsNothingAndReportsUndefined) {
    PlainDetection detector;
    EXPECT_FALSE(detector.detect());
    EXPECT_EQ(detector.getType(), VMType::Undefined);
    EXPECT_EQ(detector.getName(), "Plain");
}

TEST(VMDetectionDefault, CloneKeepsNameAndType) {
    ScriptedDetection detector;
    auto copy = detector.clone();
    EXPECT_EQ(copy->getName(), detector.getName());
    EXPECT_EQ(copy->getType(), detector.getType());
    EXPECT_NE(copy.get(), &detector);
}

}  // namespace
}  // namespace Corvane::utils::vmdetection
