// The exports called in-process against Wine's real Win32.  (The race of
// first calls runs in the reliability suite, in fresh processes.)
#include <gtest/gtest.h>
#include <windows.h>

#include "api/Exports.h"

namespace {

TEST(ExportsOnWine, SetLogFolderWithNullSwitchesLoggingOff) {
    SetLogFolder(L"C:\\corvane-never-created");
    SetLogFolder(nullptr);
    DetectVM();
    EXPECT_EQ(GetFileAttributesW(L"C:\\corvane-never-created"), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
