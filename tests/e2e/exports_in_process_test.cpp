// The exports called in-process against Wine's real Win32.  (The race of
// first calls runs in the reliability suite, in fresh processes.)
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "api/Exports.h"

namespace {

// A folder of this run alone, gone before and after: a failing run (a log
// written after all) leaves nothing that fails the next one.
TEST(ExportsOnWine, SetLogFolderWithNullSwitchesLoggingOff) {
    const std::filesystem::path folder = L"C:\\corvane-log-off-" + std::to_wstring(GetCurrentProcessId());
    std::filesystem::remove_all(folder);
    SetLogFolder(folder.c_str());
    SetLogFolder(nullptr);
    DetectVM();
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    std::filesystem::remove_all(folder);
    EXPECT_EQ(attributes, INVALID_FILE_ATTRIBUTES);
}

}  // namespace
