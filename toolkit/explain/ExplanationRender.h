#pragma once
// The two forms an explanation is shown in: readable text, and one JSON
// object whose fields docs/cli.md documents.

#include <string>

#include "toolkit/explain/Explanation.h"

namespace Corvane::explain {

// A table per detector: each check, its sign, its time, the artefacts behind a
// sign, and marks on the step that opened the gate and the check that decided.
std::string renderText(const Explanation& explanation);

// One JSON object, indented, ending in a newline.
std::string renderJson(const Explanation& explanation);

// "Wine (type 7)", or "no product (type 1)".
std::string describeVerdict(const Verdict& verdict);

// The warning shown when DetectVM answered something else; "" when it agrees.
std::string disagreementWarning(const Explanation& explanation);

}  // namespace Corvane::explain
