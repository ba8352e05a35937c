#pragma once
// Verdicts in test failures as "Wine (type 7)" rather than as bytes.
#include <ostream>

#include "toolkit/explain/ExplanationRender.h"

namespace Corvane::explain {

inline void PrintTo(const Verdict& verdict, std::ostream* out) { *out << describeVerdict(verdict); }

}  // namespace Corvane::explain
