#pragma once
// The commands of corvane-vmd.  A new command is one more entry in the table
// of Commands.cpp and a run function in its own file.

#include <span>
#include <string_view>

#include "cli/Arguments.h"

namespace Corvane::cli {

struct Command {
    std::string_view name;      // the word after corvane-vmd; the first entry also runs when none is given
    std::string_view synopsis;  // for --help, after "corvane-vmd ": "[--quiet | [--json]] [--log DIR]";
                                // README.md and docs/cli.md copy it (ctest docs_synopsis)
    std::string_view summary;   // one line for --help
    unsigned options;           // OptionFlags it accepts
    size_t minOperands;
    size_t maxOperands;
    int (*run)(const Invocation&);  // returns the exit status
};

// All commands; the first is the default.
std::span<const Command> commands();

// The command of that name, or null.
const Command* findCommand(std::wstring_view name);

// The commands' own run functions.
int runDetect(const Invocation& invocation);
int runCapture(const Invocation& invocation);
int runReplay(const Invocation& invocation);
int runSurvey(const Invocation& invocation);

}  // namespace Corvane::cli
