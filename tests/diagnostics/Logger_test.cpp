#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics/Logger.h"
#include "win32/Win32Api.h"

namespace Corvane {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Each test logs into a folder of its own and leaves logging off afterwards.
class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("corvane-logger-" + std::to_string(GetCurrentProcessId()) + "-" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
    }
    void TearDown() override {
        Logger::setFolder(L"");
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    fs::path logFile(const fs::path& folder) const { return folder / "CorvaneLog.txt"; }

    fs::path root;
    // The log writes to the real file system; its thread IDs and text
    // conversions come from the real machine too.
    platform::ScopedWin32Binding realMachine{platform::realWin32()};
};

TEST_F(LoggerTest, AnEntryIsThreeLinesWithCrLfAndTheExactHeader) {
    Logger::setFolder(root.wstring());
    Logger::log("Checking VirtualBox process", "vboxservice.exe");
    Logger::log("Failed to call Process32First");

    const std::string text = readFile(logFile(root));
    const std::regex entry(
        "Thread ([0-9]+), [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\r\n"
        "Checking VirtualBox process: vboxservice.exe\r\n"
        "\r\n"
        "Thread \\1, [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\r\n"
        "Failed to call Process32First\r\n"
        "\r\n");
    EXPECT_TRUE(std::regex_match(text, entry)) << text;
    EXPECT_NE(text.find("Thread " + std::to_string(GetCurrentThreadId()) + ", "), std::string::npos);
}

TEST_F(LoggerTest, WideTextIsWrittenAsUtf8AndCutAtAnEmbeddedNul) {
    Logger::setFolder(root.wstring());
    Logger::log(std::wstring(L"Gr\u00fc\u00dfe \u65e5\u672c"), std::wstring(L"ab\0cd", 5));
    const std::string text = readFile(logFile(root));
    EXPECT_NE(text.find("Gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC: ab\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("cd"), std::string::npos);
}

TEST_F(LoggerTest, MissingParentFoldersAreCreated) {
    const fs::path deep = root / "a" / "b" / "c";
    Logger::setFolder(deep.wstring() + L"\\");
    Logger::log("entry");
    EXPECT_TRUE(fs::exists(logFile(deep)));
}

TEST_F(LoggerTest, EntriesAppendAndSwitchingFoldersLeavesTheOldFileAlone) {
    const fs::path first = root / "first";
    const fs::path second = root / "second";
    Logger::setFolder(first.wstring());
    Logger::log("one");
    Logger::setFolder(L"");
    Logger::log("dropped while off");
    Logger::setFolder(second.wstring());
    Logger::log("two");

    const std::string firstText = readFile(logFile(first));
    EXPECT_NE(firstText.find("one\r\n"), std::string::npos);
    EXPECT_EQ(firstText.find("dropped"), std::string::npos);
    EXPECT_EQ(firstText.find("two"), std::string::npos);
    EXPECT_NE(readFile(logFile(second)).find("two\r\n"), std::string::npos);
}

TEST_F(LoggerTest, ARelativeFolderIsResolvedAtEachEntry) {
    fs::create_directories(root / "x");
    fs::create_directories(root / "y");
    const fs::path previous = fs::current_path();
    Logger::setFolder(L"logs");
    fs::current_path(root / "x");
    Logger::log("in x");
    fs::current_path(root / "y");
    Logger::log("in y");
    fs::current_path(previous);

    EXPECT_NE(readFile(logFile(root / "x" / "logs")).find("in x"), std::string::npos);
    EXPECT_NE(readFile(logFile(root / "y" / "logs")).find("in y"), std::string::npos);
}

TEST_F(LoggerTest, AFolderThatCannotBeCreatedDropsTheEntrySilently) {
    fs::create_directories(root);
    std::ofstream(root / "plain-file") << "not a folder";
    Logger::setFolder((root / "plain-file" / "logs").wstring());
    EXPECT_NO_THROW(Logger::log("dropped"));
    EXPECT_FALSE(fs::exists(root / "plain-file" / "logs"));
}

std::vector<std::chrono::milliseconds> pauses;

TEST_F(LoggerTest, AFileHeldWithoutWriteSharingCostsFivePausesOf200MsAndIsSkipped) {
    fs::create_directories(root);
    Logger::setFolder(root.wstring());
    HANDLE holder = CreateFileW(logFile(root).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    pauses.clear();
    const auto steady = Logger::setRetryPause([](std::chrono::milliseconds delay) { pauses.push_back(delay); });
    Logger::log("skipped");
    CloseHandle(holder);
    Logger::log("written once the file is free");
    Logger::setRetryPause(steady);

    EXPECT_EQ(pauses, std::vector<std::chrono::milliseconds>(5, std::chrono::milliseconds(200)));
    const std::string text = readFile(logFile(root));
    EXPECT_EQ(text.find("skipped"), std::string::npos);
    EXPECT_NE(text.find("written once the file is free"), std::string::npos);
}

TEST(LoggerTimestamp, FormatsTheCalendarTimeWithLeadingZeros) {
    const std::tm time{.tm_sec = 2, .tm_min = 5, .tm_hour = 9, .tm_mday = 7, .tm_mon = 2, .tm_year = 2026 - 1900,
                       .tm_wday = 0, .tm_yday = 0, .tm_isdst = 0};
    EXPECT_EQ(Logger::formatTimestamp(time), "2026-03-07 09:05:02");
}

TEST(LoggerPath, TheFileNameJoinsTheFolderWithOrWithoutATrailingSeparator) {
    Logger::setFolder(L"C:\\logs");
    EXPECT_EQ(Logger::logFilePath(), L"C:\\logs\\CorvaneLog.txt");
    Logger::setFolder(L"C:\\logs\\");
    EXPECT_EQ(Logger::logFilePath(), L"C:\\logs\\CorvaneLog.txt");
    Logger::setFolder(L"");
}

}  // namespace
}  // namespace Corvane
