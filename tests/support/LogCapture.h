#pragma once
// The library's log written to a fresh folder while the object lives, read
// back as text with "\n" line ends.

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "diagnostics/Logger.h"

namespace Corvane::testing {

// The file's bytes as they are, or "" when it cannot be read.
inline std::string fileText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

class LogCapture {
public:
    LogCapture() {
        static int serial = 0;
        folder_ = std::filesystem::temp_directory_path() /
                  ("corvane-log-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(serial++));
        std::filesystem::remove_all(folder_);
        Logger::setFolder(folder_.wstring());
    }
    ~LogCapture() {
        Logger::setFolder(L"");
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::string text() const {
        std::string text = fileText(folder_ / "CorvaneLog.txt");
        std::erase(text, '\r');  // the log is written in text mode
        return text;
    }

    // How many entries carry exactly this message line.
    // GCC 12 takes "literal" + std::string&& for an overlapping memcpy (GCC bug 105651).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
    size_t countLines(const std::string& line) const {
        const std::string text = "\n" + this->text(), needle = "\n" + line + "\n";
        size_t count = 0;
        for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++count;
        return count;
    }
#pragma GCC diagnostic pop

private:
    std::filesystem::path folder_;
};

}  // namespace Corvane::testing
