#include "diagnostics/Logger.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <share.h>

#include "diagnostics/CorvaneException.h"
#include "diagnostics/LogFolder.h"
#include "win32/Win32Api.h"

namespace Corvane {
namespace {

bool loggingDisabled = true;
std::wstring logFolder;
const std::string kLogFileName = "CorvaneLog.txt";

constexpr int kOpenAttempts = 5;
constexpr DWORD kOpenRetryDelayMs = 200;
constexpr char kTimestampFormat[] = "%Y-%m-%d %H:%M:%S";

// Serialises whole entries among the process's threads.  Constant data: no
// one-time initialisation, nothing to destroy at unload.
SRWLOCK logLock = SRWLOCK_INIT;

class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    SRWLOCK& lock_;
};

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using LogFile = std::unique_ptr<FILE, FileCloser>;

// Waits at least `milliseconds` on the monotonic clock, sleeping again when a
// sleep ends early: a change of the wall clock cannot stretch or cut it.
void pauseFor(DWORD milliseconds) {
    const auto& api = platform::win32();
    const ULONGLONG deadline = api.GetTickCount64() + milliseconds;
    for (ULONGLONG now = api.GetTickCount64(); now < deadline; now = api.GetTickCount64())
        api.Sleep(static_cast<DWORD>(deadline - now));
}

std::tm currentLocalTime() {
    std::tm localTime{};
    const __time64_t now = _time64(nullptr);
    _localtime64_s(&localTime, &now);  // a failure leaves it zero-filled
    return localTime;
}

// The time stamp written digit by digit, as the "C" locale writes it; nothing
// when a field lies outside its calendar range.
std::optional<std::string> formatInTheCLocale(const std::tm& time) {
    struct Field {
        int value, low, high, digits;
        const char* after;
    };
    const Field fields[] = {{time.tm_year + 1900, 0, 9999, 4, "-"}, {time.tm_mon + 1, 1, 12, 2, "-"},
                            {time.tm_mday, 1, 31, 2, " "},          {time.tm_hour, 0, 23, 2, ":"},
                            {time.tm_min, 0, 59, 2, ":"},           {time.tm_sec, 0, 60, 2, ""}};
    std::string text;
    for (const Field& field : fields) {
        if (field.value < field.low || field.value > field.high) return std::nullopt;
        const std::string digits = std::to_string(field.value);
        text.append(static_cast<size_t>(field.digits) - std::min<size_t>(digits.size(), field.digits), '0');
        text += digits;
        text += field.after;
    }
    return text;
}

std::wstring logFileName() {
    const auto& api = platform::win32();
    const int needed = api.MultiByteToWideChar(CP_ACP, 0, kLogFileName.c_str(), -1, nullptr, 0);
    std::wstring fileName(static_cast<size_t>(needed > 0 ? needed : 1), L'\0');
    api.MultiByteToWideChar(CP_ACP, 0, kLogFileName.c_str(), -1, fileName.data(), needed);
    fileName.resize(fileName.find(L'\0'));
    return fileName;
}

bool writeAll(FILE* file, const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), file) == text.size();
}

// Each line is flushed as it ends, so entries of several processes sharing
// the file interleave line by line, never inside a line.
bool endLine(FILE* file) { return std::fputc('\n', file) != EOF && std::fflush(file) == 0; }

// Opens the file for appending in text mode (every "\n" becomes CR LF) with
// deny-none sharing, and writes line 1.  Null when the entry is to be dropped.
LogFile openLogFile() {
    if (logFolder.empty()) return nullptr;

    // A folder that cannot be made absolute or created drops the entry like a
    // file that cannot be opened.
    const std::wstring folder = logfolder::fullPathOf(logFolder);
    if (folder.empty() || !logfolder::createWithParents(folder)) return nullptr;
    const std::wstring path = logfolder::join(folder, logFileName());

    LogFile file;
    for (int attempt = 0; attempt < kOpenAttempts && !file; ++attempt) {
        file.reset(_wfsopen(path.c_str(), L"a", _SH_DENYNO));
        if (!file) pauseFor(kOpenRetryDelayMs);
    }
    if (!file) return nullptr;

    const std::string header = "Thread " + std::to_string(platform::win32().GetCurrentThreadId()) + ", " +
                               Logger::formatTimestamp(currentLocalTime());
    if (!writeAll(file.get(), header) || !endLine(file.get()) || std::ferror(file.get())) return nullptr;
    return file;
}

}  // namespace

void Logger::setFolder(const std::wstring& folder) {
    if (folder.empty()) {
        loggingDisabled = true;
        return;
    }
    logFolder = folder;
    loggingDisabled = false;
}

void Logger::log(const std::string& message, const std::string& detail) {
    if (loggingDisabled) return;

    ExclusiveLock guard(logLock);
    LogFile file = openLogFile();
    if (!file) return;

    // Failures past line 1 are not examined: the entry may be cut short.
    writeAll(file.get(), message);
    if (!detail.empty()) writeAll(file.get(), ": " + detail);
    endLine(file.get());
    endLine(file.get());
}

void Logger::log(const std::wstring& message, const std::wstring& detail) { log(toUtf8(message), toUtf8(detail)); }

std::string Logger::toUtf8(const std::wstring& text) {
    const auto& api = platform::win32();
    const int needed = api.WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return std::string();
    std::string utf8(static_cast<size_t>(needed), '\0');
    api.WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), needed, nullptr, nullptr);
    utf8.resize(utf8.find('\0'));
    return utf8;
}

std::wstring Logger::logFilePath() {
    const std::wstring folder = logfolder::fullPathOf(logFolder);
    return folder.empty() ? std::wstring() : logfolder::join(folder, logFileName());
}

std::string Logger::formatTimestamp(const std::tm& localTime) {
    if (localTime.tm_mday == 0) return std::string();
    if (auto text = formatInTheCLocale(localTime)) return *text;
    // The C runtime's own formatting may still manage a time outside the calendar's ranges.
    char buffer[100];
    if (std::strftime(buffer, sizeof buffer, kTimestampFormat, &localTime) > 0) return buffer;
    throw CorvaneException("time stamp could not be formatted", LogTimestampUnformattable);
}

bool Logger::isEnabled() { return !loggingDisabled; }

const std::wstring& Logger::folder() { return logFolder; }

}  // namespace Corvane
