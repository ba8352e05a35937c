// The guest and physical machine profiles of tests/fixtures/profiles: each
// must give its recorded verdict, decided by its recorded check.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/profile/ProfileJson.h"
#include "support/SimulatedMachineTest.h"
#include "vmdetection/VMDetectionManager.h"

namespace Corvane::utils::vmdetection {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> productProfiles() {
    std::vector<fs::path> files;
    for (const char* folder : {"vmware", "qemu", "hyperv", "parallels", "xen", "physical-traps"}) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(fs::path(CORVANE_FIXTURES_DIR) / "profiles" / folder, error))
            if (entry.path().extension() == ".json") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// "VMWareDetection.checkProcesses": the winner's first check, in slot order, that finds its sign.
std::string decidingCheck(const VMDetectionManager& manager) {
    static const std::map<VMType, std::string> classNames = {
        {VMType::VirtualBox, "VirtualBoxDetection"}, {VMType::VMWare, "VMWareDetection"},
        {VMType::Parallels, "ParallelsDetection"},   {VMType::Qemu, "QemuDetection"},
        {VMType::VirtualPC, "VirtualPCDetection"},   {VMType::Wine, "WineDetection"},
        {VMType::Xen, "XenDetection"}};
    const VMDetectionDefault* winner = manager.getCurrentDetector();
    if (!winner) return "";
    for (const auto& detector : manager.getDetectors()) {
        if (!detector || detector->getType() != winner->getType()) continue;
        for (const auto& slot : VMDetectionDefault::checkSlots())
            if ((detector.get()->*slot.check)()) return classNames.at(detector->getType()) + "." + slot.name;
    }
    return "(no check fires)";
}

class ProductProfileTest : public Corvane::testing::SimulatedMachineTest,
                           public ::testing::WithParamInterface<fs::path> {
protected:
    void TearDown() override {
        manager.reset();
        SimulatedMachineTest::TearDown();
    }
    std::unique_ptr<VMDetectionManager> manager;
};

TEST_P(ProductProfileTest, GivesItsRecordedVerdictThroughItsRecordedCheck) {
    profile = profile::loadProfileFile(GetParam());
    ASSERT_TRUE(profile.expected.has_value());
    const auto expected = *profile.expected;
    EXPECT_FALSE(expected.why.empty());
    start();
    manager = std::make_unique<VMDetectionManager>();
    manager->runDetection();
    EXPECT_EQ(manager->resultType(), expected.type);
    EXPECT_EQ(manager->resultName(), expected.name);
    EXPECT_EQ(decidingCheck(*manager), expected.decidedBy);
}

TEST(ProductProfiles, EveryProductHasAProfile) {
    std::map<std::string, int> perFolder;
    for (const auto& file : productProfiles()) ++perFolder[file.parent_path().filename().string()];
    for (const char* folder : {"vmware", "qemu", "hyperv", "parallels", "xen", "physical-traps"})
        EXPECT_GT(perFolder[folder], 0) << folder;
}

std::string profileName(const ::testing::TestParamInfo<fs::path>& info) {
    std::string name = info.param.parent_path().filename().string() + "_" + info.param.stem().string();
    std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ProductProfileTest, ::testing::ValuesIn(productProfiles()), profileName);

}  // namespace
}  // namespace Corvane::utils::vmdetection
