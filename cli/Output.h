#pragma once
#include <string_view>

namespace Corvane::cli {

// Text for stdout and stderr, written as UTF-8 bytes.
void writeOut(std::string_view text);
void writeErr(std::string_view text);

}  // namespace Corvane::cli
