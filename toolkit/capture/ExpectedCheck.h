#pragma once
// A profile's `expected` block held against what the checks give on it, for
// `replay --check` and `survey --check`: a folder of machines with their
// expected verdicts is checked in one run.

#include <optional>
#include <string>
#include <vector>

#include "toolkit/capture/Survey.h"
#include "toolkit/profile/MachineProfile.h"

namespace Corvane::capture {

// One phrase per field that differs ("type: expected 4, got 1"), in the
// order type, name, decidedBy; empty when the verdict is the expected one.
std::vector<std::string> differencesFromExpected(const profile::Expectation& expected, const SurveyResult& result);

// The survey line with what the check found: "asExpected" (null when the
// profile expects nothing) and "differences".
std::string checkedSurveyLine(const std::string& machine, const SurveyResult& result,
                              const std::optional<profile::Expectation>& expected);

}  // namespace Corvane::capture
