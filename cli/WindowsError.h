#pragma once
// Windows error codes as words a person can act on: the system's own message
// and, where we know it, what usually causes it.

#include <windows.h>

#include <string>

namespace Corvane::cli {

// "not a 64-bit DLL (Windows error 193: %1 is not a valid Win32 application)":
// the likely cause first when there is one, then the code and the system's text.
std::string describeWindowsError(DWORD code);

}  // namespace Corvane::cli
