// The VirtualBox guest profiles of tests/fixtures/profiles/virtualbox: each is
// recognised, and the first check in slot order that fires is the recorded one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/WMIHelper.h"
#include "support/SimulatedMachineTest.h"
#include "vmdetection/VMDetectionManager.h"
#include "vmdetection/VirtualBoxDetection.h"

namespace Corvane::utils::vmdetection {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> virtualBoxProfiles() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(Corvane::testing::fixturePath("profiles/virtualbox")))
        if (entry.path().extension() == ".json") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

class VirtualBoxProfile : public Corvane::testing::SimulatedMachineTest,
                          public ::testing::WithParamInterface<fs::path> {
protected:
    void TearDown() override {
        manager.reset();
        detector.reset();
        wmi.reset();
        SimulatedMachineTest::TearDown();
    }

    std::optional<platform::WMIHelper> wmi;
    std::optional<VirtualBoxDetection> detector;
    std::unique_ptr<VMDetectionManager> manager;
};

TEST_P(VirtualBoxProfile, IsRecognisedFirstByItsRecordedCheck) {
    profile = profile::loadProfileFile(GetParam());
    ASSERT_TRUE(profile.expected.has_value());
    EXPECT_EQ(profile.expected->type, static_cast<int32_t>(VMType::VirtualBox));
    EXPECT_EQ(profile.expected->name, "VirtualBox");
    EXPECT_FALSE(profile.expected->why.empty());
    start();
    wmi.emplace(L"ROOT\\CIMV2");
    ASSERT_TRUE(wmi->isConnected());
    detector.emplace(&*wmi);

    EXPECT_TRUE(detector->detect());
    std::string deciding;
    for (const auto& slot : VMDetectionDefault::checkSlots()) {
        if (((*detector).*slot.check)()) {
            deciding = std::string("VirtualBoxDetection.") + slot.name;
            break;
        }
    }
    EXPECT_EQ(deciding, profile.expected->decidedBy);
}

TEST_P(VirtualBoxProfile, GivesItsVerdictThroughTheWholeDetection) {
    profile = profile::loadProfileFile(GetParam());
    start();
    manager = std::make_unique<VMDetectionManager>();
    manager->runDetection();
    EXPECT_EQ(manager->resultType(), profile.expected->type);
    EXPECT_EQ(manager->resultName(), profile.expected->name);
}

std::string profileName(const ::testing::TestParamInfo<fs::path>& info) {
    std::string name = info.param.stem().string();
    std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, VirtualBoxProfile, ::testing::ValuesIn(virtualBoxProfiles()), profileName);

TEST(VirtualBoxProfiles, FixtureFolderHoldsTheGuestProfiles) {
    EXPECT_GE(virtualBoxProfiles().size(), 3u);
}

}  // namespace
}  // namespace Corvane::utils::vmdetection
