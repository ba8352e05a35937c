#pragma once
#include <string>
#include <string_view>

namespace Corvane::cli {

// Command-line text (UTF-16) as UTF-8, for messages and JSON.
std::string toUtf8(std::wstring_view text);

}  // namespace Corvane::cli
