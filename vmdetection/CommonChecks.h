#pragma once
// Probing steps that several product detectors share.  Each answers whether a
// sign is present, treats every failing call as a missing sign, releases what
// it took on every path, and names the artefact when it finds one.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "win32/Win32Api.h"

namespace Corvane::utils::vmdetection {

// A byte pattern searched for in firmware tables, matched byte for byte.
struct BytePattern {
    const char* text;  // the pattern's bytes, as characters (no terminator is matched)
    size_t size() const;
};

// The first process, in list order, that runs under exactly that executable name.
bool anyProcessRunning(std::span<const wchar_t* const> exeNames);

// RegOpenKeyExW(root, key, 0, KEY_READ) succeeds.
bool registryKeyExists(HKEY root, const wchar_t* key);

// A value read into a 2048-byte buffer with a 260-byte size limit holds the
// text (case-insensitive).  Longer data is not read; of a multi-string only
// the first string is searched.
struct RegistryValueProbe {
    const wchar_t* key;  // under HKEY_LOCAL_MACHINE
    const wchar_t* valueName;
    const wchar_t* text;
};
bool registryValueContains(const RegistryValueProbe& probe);
// The first probe, in table order, whose value holds its text.
bool anyRegistryValueContains(std::span<const RegistryValueProbe> probes);

// Status tests of the file system, following links: a link counts as what it
// points to, and a dangling link as absent.  A status that cannot be read
// counts as absent.
bool pathIsFile(const std::wstring& path);
bool pathIsDirectory(const std::wstring& path);

// The Windows directory, or empty when it cannot be determined.
std::wstring windowsDirectory();
// The native Program Files folder (%ProgramW6432% from a 32-bit process on
// 64-bit Windows), or empty when it cannot be determined.
std::wstring nativeProgramFilesFolder();
// PathCombineW into a 260-character buffer; empty when it fails.
std::wstring combinePath(const std::wstring& folder, const wchar_t* relative);

// The first of these paths, relative to the Windows directory, that names a
// file; WoW64 redirection is off during the walk.
bool anyFileUnderWindowsDirectory(std::span<const wchar_t* const> relativePaths);

// CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING) succeeds.
bool anyDeviceOpens(std::span<const wchar_t* const> names);

// An adapter of a fresh adapter list with AddressLength 6 whose address starts with the prefix.
bool anyAdapterWithMacPrefix(const uint8_t (&prefix)[3]);

// The raw SMBIOS table holds one of the patterns (tried in order over the whole table).
bool smbiosContainsAny(std::span<const BytePattern> patterns);

// Some ACPI table holds one of the patterns.  An enumeration of fewer than 4
// bytes is itself a sign; a missing enumeration function is none.  At most
// the 1024 identifiers the 4096-byte list holds are examined.
bool acpiTablesContainAny(std::span<const BytePattern> patterns);

// The text a WMI value carries, or null when it carries none.  WMI hands
// string properties over as VT_BSTR, or VT_NULL when unset; other types are
// never read as text.  A null BSTR is COM's empty string.
const wchar_t* wmiTextOf(const VARIANT& value);

// Names the class, property and value of a WMI sign as evidence.
void noteWmiHit(const wchar_t* className, const wchar_t* property, std::wstring_view value);

// Hexadecimal "08:00:27:12:34:56" of an address, for evidence.
std::string formatMacAddress(const uint8_t* address, size_t length);

}  // namespace Corvane::utils::vmdetection
