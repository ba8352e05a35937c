#pragma once
// The library's log: entries appended to "CorvaneLog.txt" in a folder the host
// names.  Off until a non-empty folder is set.

#include <ctime>
#include <string>

namespace Corvane {

class Logger {
public:
    // Empty: logging off, the folder kept.  Otherwise the folder is stored and
    // logging switched on.  Touches no file.
    static void setFolder(const std::wstring& folder);

    // Appends one three-line entry; the detail follows the message after ": "
    // when it is not empty.  A file that cannot be opened is tried five times,
    // 200 ms apart on the monotonic clock, and then the entry is dropped.
    static void log(const std::string& message, const std::string& detail = std::string());
    static void log(const std::wstring& message, const std::wstring& detail = std::wstring());

    // UTF-16 to UTF-8, cut at the first NUL.
    static std::string toUtf8(const std::wstring& text);

    // Full path of the log file for the folder now stored; empty when none,
    // or when the folder cannot be made absolute.
    static std::wstring logFilePath();

    // "%Y-%m-%d %H:%M:%S" of a local calendar time; empty for one never filled
    // in.  Throws CorvaneException (LogTimestampUnformattable) for one that
    // cannot be formatted at all.
    static std::string formatTimestamp(const std::tm& localTime);

    static bool isEnabled();
    static const std::wstring& folder();
};

}  // namespace Corvane
