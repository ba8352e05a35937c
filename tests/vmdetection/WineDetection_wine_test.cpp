// WineDetection against Wine's own kernel32 and registry.

#include <gtest/gtest.h>

#include "vmdetection/WineDetection.h"

namespace Corvane::utils::vmdetection {
namespace {

TEST(WineDetectionOnWine, Kernel32ExportsTheWineFunction) {
    WineDetection detector;
    EXPECT_TRUE(detector.checkLibraryExports());
}

TEST(WineDetectionOnWine, TheUsersWineKeyExists) {
    WineDetection detector;
    EXPECT_TRUE(detector.checkRegistryKeys());
    EXPECT_TRUE(detector.detect());
}

}  // namespace
}  // namespace Corvane::utils::vmdetection
