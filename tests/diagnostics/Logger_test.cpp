#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "diagnostics/CorvaneException.h"
#include "diagnostics/Logger.h"
#include "support/LogCapture.h"
#include "support/SimulatedMachineTest.h"
#include "win32/Win32Api.h"

namespace Corvane {
namespace {

namespace fs = std::filesystem;

using testing::fileText;

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

// Three lines per entry, CR LF ended; wide text as UTF-8, cut at a NUL.
TEST_F(LoggerTest, AnEntryIsThreeLinesWithCrLfAndTheExactHeader) {
    Logger::setFolder(root.wstring());
    Logger::log("Checking VirtualBox process", "vboxservice.exe");
    Logger::log(std::wstring(L"Gr\u00fc\u00dfe \u65e5\u672c"), std::wstring(L"ab\0cd", 5));

    const std::string text = fileText(logFile(root));
    const std::regex entry(
        "Thread ([0-9]+), [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\r\n"
        "Checking VirtualBox process: vboxservice.exe\r\n"
        "\r\n"
        "Thread \\1, [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\r\n"
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE6\x97\xA5\xE6\x9C\xAC: ab\r\n"
        "\r\n");
    EXPECT_TRUE(std::regex_match(text, entry)) << text;
    EXPECT_NE(text.find("Thread " + std::to_string(GetCurrentThreadId()) + ", "), std::string::npos);
}

// Missing parents are created; one separator joins folder and file name; an
// empty folder stops the log, a new one starts a new file and leaves the old one alone.
TEST_F(LoggerTest, EntriesAppendAndSwitchingFoldersLeavesTheOldFileAlone) {
    const fs::path first = root / "a" / "b" / "first";
    const fs::path second = root / "second";
    Logger::setFolder(first.wstring() + L"\\");
    EXPECT_EQ(Logger::logFilePath(), first.wstring() + L"\\CorvaneLog.txt");
    Logger::log("one");
    Logger::setFolder(L"");
    Logger::log("dropped while off");
    Logger::setFolder(second.wstring());
    EXPECT_EQ(Logger::logFilePath(), second.wstring() + L"\\CorvaneLog.txt");
    Logger::log("two");

    const std::string firstText = fileText(logFile(first));
    EXPECT_NE(firstText.find("one\r\n"), std::string::npos);
    EXPECT_EQ(firstText.find("dropped"), std::string::npos);
    EXPECT_EQ(firstText.find("two"), std::string::npos);
    EXPECT_NE(fileText(logFile(second)).find("two\r\n"), std::string::npos);
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

    EXPECT_NE(fileText(logFile(root / "x" / "logs")).find("in x"), std::string::npos);
    EXPECT_NE(fileText(logFile(root / "y" / "logs")).find("in y"), std::string::npos);
}

// The pause between attempts to open the file, on the simulated machine's
// clock (the file itself is real): none for a file other writers may share,
// five of 200 ms for one held without write sharing, however early each sleep
// ends, and then the entry is dropped.
struct HeldFile {
    const char* how;
    DWORD share;  // the holder's share mode
    bool sleepsEndHalfway;
    bool written;
    ULONGLONG waitedMs;
};
const HeldFile kHeldFiles[] = {
    {"shared with writers", FILE_SHARE_READ | FILE_SHARE_WRITE, false, true, 0},
    {"refusing writers", FILE_SHARE_READ, false, false, 1000},
    {"refusing writers, sleeps ending early", FILE_SHARE_READ, true, false, 1000},
};

class LoggerOpenTest : public testing::SimulatedMachineTest {};

TEST_F(LoggerOpenTest, AHeldFileIsTriedFiveTimes200MsApartOnTheMonotonicClock) {
    const fs::path folder = fs::temp_directory_path() /
                            ("corvane-logger-held-" + std::to_string(GetCurrentProcessId()));
    fs::create_directories(folder);
    for (const HeldFile& row : kHeldFiles) {
        SCOPED_TRACE(row.how);
        auto& machine = start();
        machine.faults().sleepsEndHalfway = row.sleepsEndHalfway;
        HANDLE holder = CreateFileW((folder / "CorvaneLog.txt").c_str(), GENERIC_READ | GENERIC_WRITE, row.share,
                                    nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        Logger::setFolder(folder.wstring());
        const ULONGLONG before = machine.api().GetTickCount64();
        Logger::log("held");
        EXPECT_EQ(machine.api().GetTickCount64() - before, row.waitedMs);
        Logger::setFolder(L"");
        CloseHandle(holder);
        EXPECT_EQ(fileText(folder / "CorvaneLog.txt").find("held\r\n") != std::string::npos, row.written);
        stop();
    }
    fs::remove_all(folder);
}

// A file where the folder, or one of its parents, should be: the entry is
// dropped at once, with nothing created and none of the pauses of a file
// that cannot be opened.
TEST_F(LoggerOpenTest, AFileWhereAFolderShouldBeDropsTheEntryAtOnce) {
    const fs::path file = fs::temp_directory_path() / ("corvane-logger-file-" + std::to_string(GetCurrentProcessId()));
    std::ofstream(file) << "not a folder";
    auto& machine = start();
    for (const fs::path& folder : {file, file / "logs"}) {
        Logger::setFolder(folder.wstring());
        EXPECT_NO_THROW(Logger::log("dropped"));
    }
    Logger::setFolder(L"");
    EXPECT_EQ(machine.countCalls("Sleep"), 0u);
    EXPECT_EQ(machine.countCalls("CreateDirectoryW"), 0u);
    fs::remove(file);
}

TEST(LoggerTimestamp, TheCalendarTimeWithLeadingZerosEmptyWhenUnsetCode3WhenUnformattable) {
    std::tm time{2, 5, 9, 7, 2, 2026 - 1900, 0, 0, 0};  // seconds first, the month from 0, the year from 1900
    EXPECT_EQ(Logger::formatTimestamp(time), "2026-03-07 09:05:02");
    time.tm_mday = 0;  // as a failed conversion leaves it
    EXPECT_EQ(Logger::formatTimestamp(time), "");
    time.tm_mday = 7;
    time.tm_mon = 12;  // no thirteenth month: neither way of formatting takes it
    EXPECT_THAT([&] { Logger::formatTimestamp(time); },
                ::testing::Throws<CorvaneException>(
                    ::testing::Property(&CorvaneException::getCode, LogTimestampUnformattable)));
}

}  // namespace
}  // namespace Corvane
