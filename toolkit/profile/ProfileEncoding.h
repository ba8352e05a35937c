#pragma once
// The bytes of a profile file as the JSON reader needs them: UTF-8 text.
// Windows tools save text in more than one encoding (PowerShell 5.1's `>`
// writes UTF-16 LE with a byte order mark), so every encoding with a mark is
// read; bytes that are not text are refused before any parsing.

#include <cstdint>
#include <string>

namespace Corvane::profile {

// No capture comes near this size; a file above it is refused unread.
inline constexpr uint64_t kMaxProfileBytes = 64ull << 20;

// UTF-8 with or without a byte order mark, UTF-16 LE or BE with one, as UTF-8
// without a mark.  Throws ProfileError when the bytes hold a NUL outside
// UTF-16: "not a text file".
std::string profileTextFromBytes(std::string bytes);

}  // namespace Corvane::profile
