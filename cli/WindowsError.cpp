#include "cli/WindowsError.h"

#include <array>

#include "cli/Utf8.h"

namespace Corvane::cli {
namespace {

struct LikelyCause {
    DWORD code;
    const char* cause;
};

// What these codes mean for the files corvane-vmd opens (its DLL, a profile,
// a log folder), in the words a user needs.
constexpr std::array kLikelyCauses = {
    LikelyCause{ERROR_FILE_NOT_FOUND, "no such file or folder"},
    LikelyCause{ERROR_PATH_NOT_FOUND, "no such drive or folder"},
    LikelyCause{ERROR_ACCESS_DENIED, "access denied"},
    LikelyCause{ERROR_INVALID_NAME, "not a usable file name"},
    LikelyCause{ERROR_BAD_EXE_FORMAT, "not a 64-bit DLL"},
    LikelyCause{ERROR_EXE_MACHINE_TYPE_MISMATCH, "built for another processor"},
    LikelyCause{ERROR_MOD_NOT_FOUND, "the file, or a DLL it needs, is missing"},
    LikelyCause{ERROR_DLL_INIT_FAILED, "the DLL failed to start"},
};

std::string systemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = length ? toUtf8(std::wstring_view(buffer, length)) : std::string();
    LocalFree(buffer);
    // One line: the message's own line breaks and final full stop go.
    for (char& c : text) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '.')) text.pop_back();
    // Messages written for an insert ("%1 is not a valid Win32 application").
    for (size_t at = text.find("%1"); at != std::string::npos; at = text.find("%1", at))
        text.replace(at, 2, "the file");
    return text;
}

}  // namespace

std::string describeWindowsError(DWORD code) {
    std::string cause;
    for (const LikelyCause& entry : kLikelyCauses) {
        if (entry.code == code) cause = entry.cause;
    }
    const std::string message = systemMessage(code);
    const std::string detail = "Windows error " + std::to_string(code) + (message.empty() ? "" : ": " + message);
    return cause.empty() ? detail : cause + " (" + detail + ")";
}

}  // namespace Corvane::cli
