#pragma once
// The library's log: entries appended to "CorvaneLog.txt" in a folder the host
// names.  Off until a non-empty folder is set.

#include <chrono>
#include <ctime>
#include <string>

namespace Corvane {

class Logger {
public:
    // Empty: logging off, the folder kept.  Otherwise the folder is stored and
    // logging switched on.  Touches no file.
    static void setFolder(const std::wstring& folder);

    // Appends one three-line entry; the detail follows the message after ": "
    // when it is not empty.
    static void log(const std::string& message, const std::string& detail = std::string());
    static void log(const std::wstring& message, const std::wstring& detail = std::wstring());

    // UTF-16 to UTF-8, cut at the first NUL.
    static std::string toUtf8(const std::wstring& text);

    // Full path of the log file for the folder now stored; empty when none.
    static std::wstring logFilePath();

    // "%Y-%m-%d %H:%M:%S" of a local calendar time; empty for one never filled in.
    static std::string formatTimestamp(const std::tm& localTime);

    // The pause after each of the five failed attempts to open the file:
    // 200 ms on the steady clock.  Tests put a recorder in its place, so the
    // schedule is checked without waiting; returns the pause it replaces.
    using RetryPause = void (*)(std::chrono::milliseconds delay);
    static RetryPause setRetryPause(RetryPause pause);

    static bool isEnabled();
    static const std::wstring& folder();
};

}  // namespace Corvane
