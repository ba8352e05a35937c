#pragma once
// Text for a terminal: the explanation and the command line's help fit a
// classic 80-column window.

#include <string>
#include <string_view>

namespace Corvane::explain {

inline constexpr size_t kTextColumns = 80;

// `text` as lines of at most kTextColumns columns, each ending in a newline.
// The first line starts with `text` itself (its own indentation included);
// continuation lines start with `indent` spaces.  Lines break at a run of
// spaces, which the break swallows; a word longer than a whole line is cut
// between two UTF-8 characters.  Columns are counted in bytes, so text
// beyond ASCII wraps a little early, never late.
std::string wrapText(std::string_view text, size_t indent);

}  // namespace Corvane::explain
