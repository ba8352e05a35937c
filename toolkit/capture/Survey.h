#pragma once
// `corvane-vmd survey`: many machine profiles replayed in one process, one
// short result each.  A survey asks every check once, under the same
// first-match rules and check names as `replay --explain`, but skips the
// second detection run that a replay makes to set DetectVM's own answer
// beside the explanation.

#include <string>
#include <vector>

#include "toolkit/explain/Explanation.h"
#include "toolkit/profile/MachineProfile.h"

namespace Corvane::capture {

struct SurveyResult {
    explain::Verdict verdict;
    std::string gate;                // "GeneralDetection.<step>"; "" when the gate stayed closed
    std::string decidedBy;           // "<Detector>.<check>"; "" when no product was recognised
    std::vector<std::string> signs;  // "<Detector>.<check>" of every check that shows a sign, in the
                                     // explanation's order (the gate's steps first)
};

// What an explanation says in a survey's words.
SurveyResult summarise(const explain::Explanation& explanation);

// Every check of the library on that machine, once.
SurveyResult surveyMachine(const profile::MachineProfile& machine);

// How a survey line names a machine: its description, or where it was read
// from (`where`) when it has none.
std::string machineName(const profile::MachineProfile& machine, const std::string& where);

// The survey's JSON lines (no newline at the end).  `machine` names the
// profile: its description, or where it was read from.
std::string surveyLine(const std::string& machine, const SurveyResult& result);
std::string surveyErrorLine(const std::string& machine, const std::string& error);

}  // namespace Corvane::capture
