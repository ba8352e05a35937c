#pragma once
// Text helpers shared by the profile code and the simulated machine: UTF-8 and
// UTF-16 conversions that do not depend on Windows, and case-insensitive
// comparisons in the ASCII range (how the registry, the file system and WMI
// compare the names a profile holds).

#include <cstdint>
#include <string>
#include <string_view>

namespace Corvane::profile {

std::wstring fromUtf8(std::string_view text);
std::string toUtf8(std::wstring_view text);
// One code point, appended to `out` as UTF-8.
void appendUtf8(std::string& out, uint32_t cp);

wchar_t foldCase(wchar_t c);
bool equalsIgnoreCase(std::wstring_view a, std::wstring_view b);
bool equalsIgnoreCase(std::string_view a, std::string_view b);
std::wstring lowerCase(std::wstring_view text);

}  // namespace Corvane::profile
