#pragma once
// The JSON form of a machine profile (docs/machine-profile.md,
// docs/machine-profile.schema.json).
//
//     MachineProfile p = loadProfileFile("tests/fixtures/profiles/virtualbox.json");
//     std::string text = toJson(p);      // pretty, stable order: toJson(parseProfile(text)) == text
//
// Every error, malformed JSON included, is a ProfileError whose message is one
// line naming the field, e.g.
//     profile: /registry/3/values/0/type: expected one of REG_NONE, REG_SZ, ...

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include "toolkit/profile/MachineProfile.h"

namespace Corvane::profile {

inline constexpr std::string_view kProfileFormat = "corvane-machine-profile";

class ProfileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// `baseDir` resolves {"file": "relative/path.bin"} data of firmware tables.
MachineProfile parseProfile(std::string_view json, const std::filesystem::path& baseDir = {});
// A file's bytes in any encoding Windows tools write (ProfileEncoding.h),
// refused unread above kMaxProfileBytes; errors name the file.
MachineProfile loadProfileFile(const std::filesystem::path& path);
// The same for bytes from elsewhere (standard input); errors name `sourceName`.
MachineProfile readProfileBytes(std::string bytes, std::string_view sourceName, const std::filesystem::path& baseDir);
// The sentence that refuses `size` bytes as too large.
std::string tooLarge(uintmax_t size);

std::string toJson(const MachineProfile& profile);
void saveProfileFile(const MachineProfile& profile, const std::filesystem::path& path);

// Registry value types by name ("REG_SZ" -> 1), and back; unknown names give nullopt,
// unknown numbers their decimal text.
std::optional<uint32_t> registryTypeFromName(std::string_view name);
std::string registryTypeName(uint32_t type);

// ACPI table identifiers as EnumSystemFirmwareTables lists them: the signature's
// four bytes in memory order, read as a little-endian DWORD ("DSDT" -> 0x54445344).
uint32_t acpiTableId(std::string_view signature);
std::string acpiSignature(uint32_t id);  // "DSDT"; "" when the bytes are not a printable signature

// "08:00:27:12:34:56" (also with '-') -> bytes; throws ProfileError on bad text.
std::vector<uint8_t> parseMacAddress(std::string_view text);
std::string formatMacAddress(const std::vector<uint8_t>& bytes);

}  // namespace Corvane::profile
