#include "diagnostics/Logger.h"

#include <chrono>
#include <cstdio>
#include <ext/stdio_filebuf.h>
#include <filesystem>
#include <iomanip>
#include <locale>
#include <memory>
#include <ostream>
#include <share.h>
#include <sstream>

#include "diagnostics/CorvaneException.h"
#include "win32/Win32Api.h"

namespace Corvane {
namespace {

bool loggingDisabled = true;
std::wstring logFolder;
const std::string kLogFileName = "CorvaneLog.txt";

constexpr int kOpenAttempts = 5;
constexpr auto kOpenRetryDelay = std::chrono::milliseconds(200);

// An output stream over a C stream opened with a chosen share mode (the
// standard streams cannot ask for one).
class SharedFileStream : public std::ostream {
public:
    explicit SharedFileStream(FILE* file) : std::ostream(nullptr), file_(file), buffer_(file, std::ios::out) {
        rdbuf(&buffer_);
    }
    ~SharedFileStream() override {
        buffer_.close();  // flushes, but leaves a stream it did not open to its owner
        std::fclose(file_);
    }

private:
    FILE* file_;
    __gnu_cxx::stdio_filebuf<char> buffer_;
};

// GetTickCount64 and Sleep, not the standard clock and sleep, which bring a
// threading library into the DLL.
void pauseOnTheSteadyClock(std::chrono::milliseconds delay) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(delay.count());
    for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
        Sleep(static_cast<DWORD>(deadline - now));
    }
}

Logger::RetryPause retryPause = pauseOnTheSteadyClock;

std::tm currentLocalTime() {
    std::tm localTime{};
    const __time64_t now = _time64(nullptr);
    _localtime64_s(&localTime, &now);  // a failure leaves it zero-filled
    return localTime;
}

// Opens the file for appending with deny-none sharing and writes line 1.
std::unique_ptr<SharedFileStream> openLogStream() {
    if (logFolder.empty()) return nullptr;

    // A folder that cannot be created, or a path that cannot be made absolute,
    // drops the entry like a file that cannot be opened.
    std::wstring path;
    try {
        std::filesystem::create_directories(std::filesystem::path(logFolder));
        path = Logger::logFilePath();
    } catch (const std::filesystem::filesystem_error&) {
        return nullptr;
    }
    if (path.empty()) return nullptr;

    FILE* file = nullptr;
    for (int attempt = 0; attempt < kOpenAttempts && file == nullptr; ++attempt) {
        file = _wfsopen(path.c_str(), L"a", _SH_DENYNO);
        if (file == nullptr) retryPause(kOpenRetryDelay);
    }
    if (file == nullptr) return nullptr;

    auto stream = std::make_unique<SharedFileStream>(file);
    *stream << "Thread " << platform::win32().GetCurrentThreadId() << ", " << Logger::formatTimestamp(currentLocalTime())
            << std::endl;
    if (stream->bad() || stream->fail()) return nullptr;
    return stream;
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

    // Whole entries, one writer at a time.  An SRWLOCK is constant data: no
    // construction, no guard, nothing to destroy at unload.
    static SRWLOCK logLock = SRWLOCK_INIT;
    AcquireSRWLockExclusive(&logLock);
    struct Release {
        ~Release() { ReleaseSRWLockExclusive(&logLock); }
    } release;

    std::unique_ptr<SharedFileStream> stream = openLogStream();
    if (!stream) return;

    *stream << message;
    if (!detail.empty()) *stream << ": " << detail;
    *stream << std::endl;
    *stream << std::endl;
}

void Logger::log(const std::wstring& message, const std::wstring& detail) {
    log(toUtf8(message), toUtf8(detail));
}

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
    const auto& api = platform::win32();
    const int needed = api.MultiByteToWideChar(CP_ACP, 0, kLogFileName.c_str(), -1, nullptr, 0);
    std::wstring fileName(static_cast<size_t>(needed > 0 ? needed : 1), L'\0');
    api.MultiByteToWideChar(CP_ACP, 0, kLogFileName.c_str(), -1, fileName.data(), needed);
    fileName.resize(fileName.find(L'\0'));

    if (logFolder.empty()) return std::wstring();
    const std::filesystem::path folder = std::filesystem::absolute(std::filesystem::path(logFolder));
    return (folder / fileName).wstring();
}

std::string Logger::formatTimestamp(const std::tm& localTime) {
    if (localTime.tm_mday == 0) return std::string();
    try {
        std::ostringstream text;
        text.imbue(std::locale::classic());
        text << std::put_time(&localTime, "%Y-%m-%d %H:%M:%S");
        if (text.fail()) throw std::runtime_error("time stamp could not be formatted");
        return text.str();
    } catch (const std::runtime_error& error) {
        char buffer[100];
        if (std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &localTime) > 0) return buffer;
        throw CorvaneException(error.what(), LogTimestampUnformattable);
    }
}

Logger::RetryPause Logger::setRetryPause(RetryPause pause) {
    const RetryPause replaced = retryPause;
    retryPause = pause;
    return replaced;
}

bool Logger::isEnabled() { return !loggingDisabled; }

const std::wstring& Logger::folder() { return logFolder; }

}  // namespace Corvane
