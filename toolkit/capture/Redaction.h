#pragma once
// `corvane-vmd capture --redact`: a profile without what identifies the
// machine or its users (serial numbers, UUIDs, the last three bytes of MAC
// addresses, computer, user and domain names, network addresses), whose every
// detection outcome stays what it was.
//
// Redaction keeps lengths: a redacted text is as long as the original, so
// SMBIOS structures keep their layout and a registry value its size (a check
// that reads 260 bytes still fits or still does not).  Within a redacted text
// every word any check looks for stays as it was; other letters become X and
// digits 0 or 1 (a zero stays a zero, so a BIOS serial of "0" stays "0").

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/profile/MachineProfile.h"

namespace Corvane::capture {

void redactProfile(profile::MachineProfile& profile);

// The pieces, for tests and for the SMBIOS and WMI rules.

// Letters to X (x when lower case), digits to 0 (a zero) or 1, everything
// else and every word a check looks for kept.
std::wstring redactText(std::wstring_view text);

// "08:00:27:AB:CD:EF" -> "08:00:27:00:00:00"; dashes as well as colons.
std::wstring redactMacText(std::wstring_view text);

// Redacts the serial number, asset tag and UUID fields of the SMBIOS
// structures in a raw 'RSMB' table (8-byte header, then the structures).
void redactSmbiosTable(std::vector<uint8_t>& rawSmbios);

// The words the library's checks look for, lower case.  A redacted text keeps
// them wherever they stand, in whatever case.
const std::vector<std::wstring>& signWords();

}  // namespace Corvane::capture
