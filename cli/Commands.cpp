#include "cli/Commands.h"

#include <array>

namespace Corvane::cli {
namespace {

const std::array kCommands = {
    Command{"detect", "[detect] [--json | --quiet] [--explain] [--log DIR]",
            "detect as a host of CorvaneVMD.dll does; with --explain, show every check and why",
            kOptionJson | kOptionQuiet | kOptionExplain | kOptionLog, 0, 0, &runDetect},
};

}  // namespace

std::span<const Command> commands() { return kCommands; }

const Command* findCommand(std::wstring_view name) {
    for (const Command& command : kCommands) {
        if (name.size() == command.name.size() && std::equal(name.begin(), name.end(), command.name.begin())) return &command;
    }
    return nullptr;
}

}  // namespace Corvane::cli
