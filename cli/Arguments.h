#pragma once
// The command line: a command word (none means the default command), its
// operands, and options that may stand before or after it.
//
//   corvane-vmd [COMMAND] [OPERAND...] [--json] [--quiet] [--explain] [--log DIR]
//               [--output FILE] [--redact]
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
};

struct Invocation {
    const Command* command = nullptr;
    std::vector<std::wstring> operands;
    Options options;
};

// Parses the arguments after the program name.  Throws UsageError with a
// message fit for one line on stderr.  With --help or --version the rest of
// the line is not checked against the command.
Invocation parseArguments(const std::vector<std::wstring>& arguments);

}  // namespace Corvane::cli
