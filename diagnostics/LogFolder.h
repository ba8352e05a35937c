#pragma once
// The log's folder on disk: made absolute, created with its missing parents,
// and joined with the file name, all through the Win32 seam.

#include <string>

namespace Corvane::logfolder {

// The folder by the Windows full-path rules (GetFullPathNameW): a relative
// folder is taken from the current directory at the time of the call.  Empty
// for an empty folder or when the path cannot be made absolute.
std::wstring fullPathOf(const std::wstring& folder);

// Creates a full path's folder and every missing parent.  True when the
// folder exists afterwards; an existing folder is left as it is, and a file
// in the way is a failure.
bool createWithParents(const std::wstring& fullPath);

// The file name after the folder, with a separator between them unless the
// folder already ends with one.
std::wstring join(const std::wstring& folder, const std::wstring& fileName);

}  // namespace Corvane::logfolder
