#include "cli/Elevation.h"

#include <windows.h>

namespace Corvane::cli {

std::string describeElevation() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return "elevation not known (OpenProcessToken failed, error " + std::to_string(GetLastError()) + ")";
    }
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const BOOL read = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    const DWORD error = GetLastError();
    CloseHandle(token);
    if (!read) return "elevation not known (GetTokenInformation failed, error " + std::to_string(error) + ")";
    return elevation.TokenIsElevated ? "elevated" : "not elevated";
}

}  // namespace Corvane::cli
