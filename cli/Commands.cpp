#include "cli/Commands.h"

#include <array>
#include <cstdint>

namespace Corvane::cli {
namespace {

const std::array kCommands = {
    Command{"detect", "[detect] [--quiet | [--explain] [--json]] [--log DIR]",
            "detect as a host of CorvaneVMD.dll does; with --explain, show every check and why",
            kOptionJson | kOptionQuiet | kOptionExplain | kOptionLog, 0, 0, &runDetect},
    Command{"capture", "capture [--output FILE] [--redact] [--quiet]",
            "record every fact of this machine that any check reads, as a machine profile (JSON)",
            kOptionOutput | kOptionRedact | kOptionQuiet, 0, 0, &runCapture},
    Command{"replay", "replay FILE [--quiet | [--explain] [--json] | --check]",
            "run the library's checks on a captured machine profile: its verdict, and why; with --check (FILE "
            "may be a folder), hold each profile's verdict against its own \"expected\" block",
            kOptionJson | kOptionQuiet | kOptionExplain | kOptionCheck, 1, 1, &runReplay},
    Command{"survey", "survey [--check] PROFILE|FOLDER|- ...",
            "replay many machine profiles in one run: one JSON line each (\"-\": one profile a line of stdin)",
            kOptionCheck, 1, SIZE_MAX, &runSurvey},
};

}  // namespace

std::span<const Command> commands() { return kCommands; }

const Command* findCommand(std::wstring_view name) {
    for (const Command& command : kCommands) {
        if (name.size() == command.name.size() && std::equal(name.begin(), name.end(), command.name.begin()))
            return &command;
    }
    return nullptr;
}

}  // namespace Corvane::cli
