#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "api/Exports.h"
#include "vmdetection/VMDetectionManager.h"

namespace {

using Corvane::utils::vmdetection::VMDetectionManager;

// Runs first in this program (its own executable): nothing may create the manager before.
TEST(ExportsOnWine, SixteenThreadsRacingToTheFirstCallConstructOneManager) {
    ASSERT_EQ(VMDetectionManager::constructedCount(), 0) << "the manager was created before the race";

    constexpr int kThreads = 16;
    std::atomic<int> ready{0};
    std::vector<int32_t> types(kThreads, -1);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            ++ready;
            while (ready.load() < kThreads) std::this_thread::yield();
            types[i] = GetVMType();
        });
    }
    for (auto& thread : threads) thread.join();

    EXPECT_EQ(VMDetectionManager::constructedCount(), 1);
    for (int32_t type : types) EXPECT_EQ(type, 0) << "every racer sees the fresh manager";
}

TEST(ExportsOnWine, ResultsBeforeAndAfterDetection) {
    EXPECT_EQ(GetVMType(), 0);
    EXPECT_STREQ(GetVMName(), "");
    DetectVM();
    const int32_t first = GetVMType();
    const std::string firstName = GetVMName();
    EXPECT_NE(first, 0);
    DetectVM();
    EXPECT_EQ(GetVMType(), first) << "two detections in a row agree";
    EXPECT_EQ(GetVMName(), firstName);
    EXPECT_EQ(VMDetectionManager::constructedCount(), 1);
}

TEST(ExportsOnWine, VersionIsOneStableText) {
    const char* version = GetLibVersion();
    EXPECT_STREQ(version, "1.0.0.0");
    EXPECT_EQ(GetLibVersion(), version);
}

TEST(ExportsOnWine, SetLogFolderWithNullSwitchesLoggingOff) {
    SetLogFolder(L"C:\\corvane-never-created");
    SetLogFolder(nullptr);
    DetectVM();
    EXPECT_EQ(GetFileAttributesW(L"C:\\corvane-never-created"), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
