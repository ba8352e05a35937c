#include "cli/Arguments.h"

#include <string_view>

#include "cli/Commands.h"
#include "cli/ToolError.h"
#include "cli/Utf8.h"

namespace Corvane::cli {
namespace {

struct OptionName {
    std::wstring_view name;
    OptionFlag flag;
};

// The options a command may or may not accept, with the names they go by.
constexpr OptionName kCommandOptions[] = {
    {L"--json", kOptionJson},
    {L"--quiet", kOptionQuiet},
    {L"--explain", kOptionExplain},
    {L"--log", kOptionLog},
    {L"--output", kOptionOutput},
    {L"--redact", kOptionRedact},
};

std::string quoted(std::wstring_view text) { return "'" + toUtf8(text) + "'"; }

unsigned optionsGiven(const Options& options) {
    unsigned given = 0;
    if (options.json) given |= kOptionJson;
    if (options.quiet) given |= kOptionQuiet;
    if (options.explain) given |= kOptionExplain;
    if (options.logFolder) given |= kOptionLog;
    if (options.outputFile) given |= kOptionOutput;
    if (options.redact) given |= kOptionRedact;
    return given;
}

void checkAgainstCommand(const Invocation& invocation, bool commandNamed) {
    const Command& command = *invocation.command;
    const std::string commandName(command.name);

    const unsigned refused = optionsGiven(invocation.options) & ~command.options;
    for (const OptionName& option : kCommandOptions) {
        if (refused & option.flag) throw UsageError(toUtf8(option.name) + " does not apply to " + commandName);
    }
    if (invocation.options.quiet && invocation.options.json) throw UsageError("--quiet and --json exclude each other");
    if (invocation.options.quiet && invocation.options.explain) throw UsageError("--quiet and --explain exclude each other");

    const size_t count = invocation.operands.size();
    if (count > command.maxOperands) {
        throw UsageError(!commandNamed ? "unknown command " + quoted(invocation.operands.front())
                             : "too many operands for " + commandName + ": " + quoted(invocation.operands[command.maxOperands]));
    }
    if (count < command.minOperands) throw UsageError(commandName + " needs more: corvane-vmd " + std::string(command.synopsis));
}

}  // namespace

Invocation parseArguments(const std::vector<std::wstring>& arguments) {
    Invocation invocation;
    bool optionsEnded = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        const bool isOption = !optionsEnded && argument.size() > 1 && argument[0] == L'-';
        if (!isOption) {
            // The first word names the command when it is one; every other
            // word is an operand.
            if (!invocation.command && invocation.operands.empty()) {
                if (const Command* command = findCommand(argument)) {
                    invocation.command = command;
                    continue;
                }
            }
            invocation.operands.push_back(argument);
            continue;
        }

        Options& options = invocation.options;
        if (argument == L"--") {
            optionsEnded = true;
        } else if (argument == L"--json") {
            options.json = true;
        } else if (argument == L"--quiet" || argument == L"-q") {
            options.quiet = true;
        } else if (argument == L"--explain") {
            options.explain = true;
        } else if (argument == L"--help" || argument == L"-h") {
            options.help = true;
        } else if (argument == L"--version") {
            options.version = true;
        } else if (argument == L"--log" || argument.starts_with(L"--log=")) {
            std::wstring folder;
            if (argument == L"--log") {
                if (i + 1 == arguments.size()) throw UsageError("--log needs a folder: --log DIR");
                folder = arguments[++i];
            } else {
                folder = argument.substr(6);
            }
            if (folder.empty()) throw UsageError("--log needs a folder, not an empty name");
            options.logFolder = folder;
        } else if (argument == L"--output" || argument.starts_with(L"--output=")) {
            std::wstring file;
            if (argument == L"--output") {
                if (i + 1 == arguments.size()) throw UsageError("--output needs a file: --output FILE");
                file = arguments[++i];
            } else {
                file = argument.substr(9);
            }
            if (file.empty()) throw UsageError("--output needs a file, not an empty name");
            options.outputFile = file;
        } else if (argument == L"--redact") {
            options.redact = true;
        } else {
            throw UsageError("unknown option " + quoted(argument));
        }
    }

    const bool commandNamed = invocation.command != nullptr;
    if (!commandNamed) invocation.command = &commands().front();
    if (invocation.options.help || invocation.options.version) return invocation;
    checkAgainstCommand(invocation, commandNamed);
    return invocation;
}

}  // namespace Corvane::cli
