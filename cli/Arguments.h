#pragma once
// The command line: a command word (none means the default command), its
// operands, and options that may stand before or after it.
//
//   corvane-vmd [COMMAND] [OPERAND...] [--json] [--quiet] [--explain] [--log DIR]
//               [--output FILE] [--redact] [--check]
//   corvane-vmd --help | --version

#include <optional>
#include <string>
#include <vector>

namespace Corvane::cli {

struct Command;

// Options a command may accept (Command::options).
enum OptionFlag : unsigned {
    kOptionJson = 1u << 0,
    kOptionQuiet = 1u << 1,
    kOptionExplain = 1u << 2,
    kOptionLog = 1u << 3,
    kOptionOutput = 1u << 4,
    kOptionRedact = 1u << 5,
    kOptionCheck = 1u << 6,
};

struct Options {
    bool json = false;
    bool quiet = false;
    bool explain = false;
    bool help = false;
    bool version = false;
    std::optional<std::wstring> logFolder;
    std::optional<std::wstring> outputFile;
    bool redact = false;
    bool check = false;
};

struct Invocation {
    const Command* command = nullptr;
    std::vector<std::wstring> operands;
    Options options;
};

// Parses the arguments after the program name.  Throws UsageError with a
// message fit for one line on stderr: an unknown option, one given twice, two
// that exclude each other, one the command does not take.  --help (also -h
// and /?) and --version stand alone, beside a command word at most.
Invocation parseArguments(const std::vector<std::wstring>& arguments);

}  // namespace Corvane::cli
