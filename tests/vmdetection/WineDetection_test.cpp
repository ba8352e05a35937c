#include <gtest/gtest.h>

#include "toolkit/profile/ProfileBuilder.h"
#include "support/SimulatedMachineTest.h"
#include "vmdetection/WineDetection.h"

namespace Corvane::utils::vmdetection {
namespace {

using namespace Corvane::profile;

class WineDetectionTest : public Corvane::testing::SimulatedMachineTest {
protected:
    WineDetection detector;
};

TEST_F(WineDetectionTest, WindowsKernel32HasNoWineExportAndNothingIsLoaded) {
    auto& machine = start();
    EXPECT_FALSE(detector.detect());
    EXPECT_EQ(machine.countCalls("LoadLibraryA"), 0u);
    EXPECT_EQ(machine.countCalls("FreeLibrary"), 0u);
}

TEST_F(WineDetectionTest, TheExportIsLookedUpInTheLoadedKernel32WithoutLoadingIt) {
    profile.system.kernel32Exports.push_back("wine_get_unix_file_name");
    auto& machine = start();
    EXPECT_TRUE(detector.checkLibraryExports());
    EXPECT_EQ(machine.countCalls("GetModuleHandleW"), 1u);
    EXPECT_EQ(machine.countCalls("GetProcAddress"), 1u);
    EXPECT_EQ(machine.countCalls("LoadLibraryA"), 0u);
    EXPECT_EQ(machine.countCalls("FreeLibrary"), 0u);
}

TEST_F(WineDetectionTest, OtherWineExportsAreNotTheSign) {
    profile.system.kernel32Exports = {"wine_get_dos_file_name", "__wine_dbg_output"};
    start();
    EXPECT_FALSE(detector.checkLibraryExports());
}

TEST_F(WineDetectionTest, TheWineKeyCountsInTheUsersHiveOnly) {
    addRegistryKey(profile, L"HKLM", L"SOFTWARE\\Wine");
    auto& machine = start();
    EXPECT_FALSE(detector.checkRegistryKeys());
    addRegistryKey(machine.profile(), L"HKCU", L"SOFTWARE\\Wine");  // empty, and that is enough
    EXPECT_TRUE(detector.checkRegistryKeys());
}

}  // namespace
}  // namespace Corvane::utils::vmdetection
