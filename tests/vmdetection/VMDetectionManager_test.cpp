#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/profile/ProfileBuilder.h"
#include "support/SimulatedMachineTest.h"
#include "vmdetection/VMDetectionManager.h"

namespace Corvane::utils::vmdetection {
namespace {

using namespace Corvane::profile;

// A detector whose detect() answers from a shared switch and records that it was asked.
struct Script {
    std::vector<std::string> asked;
    std::vector<std::string> clonedBy;
};

class ScriptedDetector : public VMDetectionDefault {
public:
    ScriptedDetector(std::string name, VMType type, const bool* answer, Script* script)
        : VMDetectionDefault(std::move(name)), type_(type), answer_(answer), script_(script) {}
    std::unique_ptr<VMDetectionDefault> clone() const override {
        script_->clonedBy.push_back(getName());
        return std::make_unique<ScriptedDetector>(getName(), type_, answer_, script_);
    }
    VMType getType() const override { return type_; }
    bool detect() override {
        script_->asked.push_back(getName());
        return *answer_;
    }

private:
    VMType type_;
    const bool* answer_;
    Script* script_;
};

class VMDetectionManagerTest : public Corvane::testing::SimulatedMachineTest {
protected:
    void TearDown() override {
        manager.reset();  // releases its COM references before the leak check
        SimulatedMachineTest::TearDown();
    }

    VMDetectionManager& startManager() {
        start();
        manager = std::make_unique<VMDetectionManager>();
        return *manager;
    }

    std::unique_ptr<VMDetectionDefault> scripted(const char* name, VMType type, const bool& answer) {
        return std::make_unique<ScriptedDetector>(name, type, &answer, &script);
    }

    // General detector "General" and products "A" (Qemu), "B" (Xen), "C" (Wine) with a null entry.
    void useScriptedDetectors(VMDetectionManager& m) {
        std::vector<std::unique_ptr<VMDetectionDefault>> products;
        products.push_back(scripted("A", VMType::Qemu, a));
        products.push_back(nullptr);
        products.push_back(scripted("B", VMType::Xen, b));
        products.push_back(scripted("C", VMType::Wine, c));
        m.replaceDetectors(scripted("General", VMType::UnknownVM, general), std::move(products));
    }

    std::unique_ptr<VMDetectionManager> manager;
    Script script;
    bool general = true, a = false, b = false, c = false;
};

TEST_F(VMDetectionManagerTest, BeforeTheFirstDetectionTheResultIsUndefined) {
    auto& m = startManager();
    EXPECT_EQ(m.resultType(), 0);
    EXPECT_STREQ(m.resultName(), "");
}

TEST_F(VMDetectionManagerTest, TheProductDetectorsStandInTheirFixedOrder) {
    auto& m = startManager();
    const struct {
        const char* name;
        VMType type;
    } expected[] = {{"VirtualBox", VMType::VirtualBox}, {"VMWare", VMType::VMWare}, {"Parallels", VMType::Parallels},
                    {"Qemu", VMType::Qemu},             {"Hyper-V", VMType::VirtualPC}, {"Wine", VMType::Wine},
                    {"Xen", VMType::Xen}};
    ASSERT_EQ(m.getDetectors().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const auto& detector = *m.getDetectors()[i];
        EXPECT_EQ(detector.getName(), expected[i].name);
        EXPECT_EQ(detector.getType(), expected[i].type);
        auto copy = detector.clone();
        EXPECT_EQ(copy->getName(), detector.getName());
        EXPECT_EQ(copy->getType(), detector.getType());
    }
    EXPECT_EQ(m.getGeneralDetector()->getName(), "Unknown Virtual Machine");
    EXPECT_EQ(m.getGeneralDetector()->getType(), VMType::UnknownVM);
}

TEST_F(VMDetectionManagerTest, WithoutAGeneralSignNoProductDetectorIsAsked) {
    auto& m = startManager();
    useScriptedDetectors(m);
    general = false;
    a = true;
    m.runDetection();
    EXPECT_EQ(m.resultType(), 1);
    EXPECT_STREQ(m.resultName(), "");
    EXPECT_EQ(script.asked, std::vector<std::string>{"General"});
}

TEST_F(VMDetectionManagerTest, GeneralSignsAloneGiveNoneNotTheUnknownMachine) {
    auto& m = startManager();
    useScriptedDetectors(m);
    m.runDetection();
    EXPECT_EQ(m.resultType(), 1);
    EXPECT_STREQ(m.resultName(), "");
    EXPECT_EQ(script.asked, (std::vector<std::string>{"General", "A", "B", "C"}));  // the null entry is skipped
    EXPECT_EQ(m.getCurrentDetector(), nullptr);
}

TEST_F(VMDetectionManagerTest, TheFirstProductThatAnswersWinsAsAClone) {
    auto& m = startManager();
    useScriptedDetectors(m);
    b = c = true;
    m.runDetection();
    EXPECT_EQ(script.asked, (std::vector<std::string>{"General", "A", "B"}));
    EXPECT_EQ(script.clonedBy, std::vector<std::string>{"B"});
    EXPECT_EQ(m.resultType(), static_cast<int32_t>(VMType::Xen));
    EXPECT_STREQ(m.resultName(), "B");
    ASSERT_NE(m.getCurrentDetector(), nullptr);
    EXPECT_NE(m.getCurrentDetector(), m.getDetectors()[2].get());  // the winner stays in the list
    EXPECT_EQ(m.resultName(), m.getCurrentDetector()->getName().c_str());
}

TEST_F(VMDetectionManagerTest, ALaterDetectionThatFindsNothingClearsTheResult) {
    auto& m = startManager();
    useScriptedDetectors(m);
    c = true;
    m.runDetection();
    EXPECT_STREQ(m.resultName(), "C");
    c = false;
    m.runDetection();
    EXPECT_EQ(m.getCurrentDetector(), nullptr);
    EXPECT_EQ(m.resultType(), 1);
    EXPECT_STREQ(m.resultName(), "");
}

TEST_F(VMDetectionManagerTest, WithoutAGeneralDetectorTheResultIsNone) {
    auto& m = startManager();
    std::vector<std::unique_ptr<VMDetectionDefault>> products;
    a = true;
    products.push_back(scripted("A", VMType::Qemu, a));
    m.replaceDetectors(nullptr, std::move(products));
    m.runDetection();
    EXPECT_EQ(m.resultType(), 1);
    EXPECT_TRUE(script.asked.empty());
}

// Signs of each product that its first checks find, and a general sign (little memory).
const std::vector<std::pair<const char*, std::function<void(MachineProfile&)>>> kProductSigns = {
    {"VirtualBox", [](MachineProfile& p) { addProcess(p, L"vboxservice.exe"); }},
    {"VMWare", [](MachineProfile& p) { addProcess(p, L"vmtoolsd.exe"); }},
    {"Parallels", [](MachineProfile& p) { addProcess(p, L"prl_tools.exe"); }},
    {"Qemu", [](MachineProfile& p) { addProcess(p, L"qemu-ga.exe"); }},
    {"Hyper-V", [](MachineProfile& p) { addProcess(p, L"VMSrvc.exe"); }},
    {"Wine", [](MachineProfile& p) { addRegistryKey(p, L"HKCU", L"SOFTWARE\\Wine"); }},
    {"Xen", [](MachineProfile& p) { addProcess(p, L"xenservice.exe"); }},
};

TEST_F(VMDetectionManagerTest, ProductSignsWithoutAGeneralSignGiveNone) {
    for (const auto& [name, addSigns] : kProductSigns) addSigns(profile);
    auto& m = startManager();
    m.runDetection();
    EXPECT_EQ(m.resultType(), 1);
    EXPECT_STREQ(m.resultName(), "");
}

TEST_F(VMDetectionManagerTest, EachProductAloneIsRecognised) {
    profile.system.totalPhysicalMemory = 768ull << 20;
    auto& m = startManager();
    auto& machine = this->machine();
    const MachineProfile clean = machine.profile();
    for (const auto& [name, addSigns] : kProductSigns) {
        machine.profile() = clean;
        addSigns(machine.profile());
        m.runDetection();
        EXPECT_STREQ(m.resultName(), name);
    }
}

TEST_F(VMDetectionManagerTest, TheEarlierProductInListOrderWinsEveryTie) {
    profile.system.totalPhysicalMemory = 768ull << 20;
    auto& m = startManager();
    auto& machine = this->machine();
    const MachineProfile clean = machine.profile();
    for (size_t first = 0; first < kProductSigns.size(); ++first) {
        for (size_t later = first + 1; later < kProductSigns.size(); ++later) {
            machine.profile() = clean;
            kProductSigns[later].second(machine.profile());
            kProductSigns[first].second(machine.profile());
            m.runDetection();
            EXPECT_STREQ(m.resultName(), kProductSigns[first].first) << "with " << kProductSigns[later].first;
        }
    }
}

}  // namespace
}  // namespace Corvane::utils::vmdetection
