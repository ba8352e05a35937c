#include "cli/Arguments.h"

#include <string_view>

#include "cli/Commands.h"
#include "cli/ToolError.h"
#include "cli/Utf8.h"

namespace Corvane::cli {
namespace {

// Every option, once: its names, the flag a command must accept it by (none
// for --help and --version, which stand alone), and where its answer goes.
struct OptionSpec {
    std::wstring_view name;
    std::wstring_view alias;  // "" when it has none
    unsigned flag;
    bool Options::*on;                            // a switch
    std::optional<std::wstring> Options::*value;  // or an option with a value ...
    std::string_view valueWord;                   // ... named so in messages: "a folder: --log DIR"
};

constexpr OptionSpec kOptions[] = {
    {L"--json", L"", kOptionJson, &Options::json, nullptr, ""},
    {L"--quiet", L"-q", kOptionQuiet, &Options::quiet, nullptr, ""},
    {L"--explain", L"", kOptionExplain, &Options::explain, nullptr, ""},
    {L"--log", L"", kOptionLog, nullptr, &Options::logFolder, "a folder: --log DIR"},
    {L"--output", L"", kOptionOutput, nullptr, &Options::outputFile, "a file: --output FILE"},
    {L"--redact", L"", kOptionRedact, &Options::redact, nullptr, ""},
    {L"--check", L"", kOptionCheck, &Options::check, nullptr, ""},
    {L"--help", L"-h", 0, &Options::help, nullptr, ""},
    {L"--version", L"", 0, &Options::version, nullptr, ""},
};
constexpr std::wstring_view kWindowsHelp = L"/?";  // what every Windows user types first

std::string quoted(std::wstring_view text) { return "'" + toUtf8(text) + "'"; }
std::string nameOf(const OptionSpec& option) { return toUtf8(option.name); }

// The option `argument` names, and for "--name=value" the value's offset.
const OptionSpec* findOption(std::wstring_view argument, size_t& valueAt) {
    valueAt = 0;
    for (const OptionSpec& option : kOptions) {
        if (argument == option.name || (!option.alias.empty() && argument == option.alias)) return &option;
        if (option.value && argument.size() > option.name.size() && argument.starts_with(option.name) &&
            argument[option.name.size()] == L'=') {
            valueAt = option.name.size() + 1;
            return &option;
        }
    }
    return nullptr;
}

unsigned optionsGiven(const Options& options) {
    unsigned given = 0;
    for (const OptionSpec& option : kOptions) {
        if (option.on ? options.*option.on : (options.*option.value).has_value()) given |= option.flag;
    }
    return given;
}

void checkAgainstCommand(const Invocation& invocation, bool commandNamed) {
    const Command& command = *invocation.command;
    const std::string commandName(command.name);
    const Options& options = invocation.options;

    const unsigned refused = optionsGiven(options) & ~command.options;
    for (const OptionSpec& option : kOptions) {
        if (refused & option.flag) throw UsageError(nameOf(option) + " does not apply to " + commandName);
    }
    if (options.quiet && options.json) throw UsageError("--quiet and --json exclude each other");
    if (options.quiet && options.explain) throw UsageError("--quiet and --explain exclude each other");
    if (options.check && options.json && invocation.command->run != &runSurvey) {
        throw UsageError("--check and --json exclude each other (survey --check gives JSON lines)");
    }
    if (options.check && options.explain) throw UsageError("--check and --explain exclude each other");

    const size_t count = invocation.operands.size();
    if (count > command.maxOperands) {
        throw UsageError(!commandNamed ? "unknown command " + quoted(invocation.operands.front())
                                       : "too many operands for " + commandName + ": " +
                                             quoted(invocation.operands[command.maxOperands]));
    }
    if (count < command.minOperands)
        throw UsageError(commandName + " needs more: corvane-vmd " + std::string(command.synopsis));
}

// --help and --version answer alone (a command word beside them is fine):
// anything else with them would be ignored, so it is refused instead.
void checkStandsAlone(const Invocation& invocation) {
    const Options& options = invocation.options;
    if (options.help && options.version) throw UsageError("--help and --version exclude each other");
    const std::string name = options.help ? "--help" : "--version";
    if (optionsGiven(options) != 0) throw UsageError(name + " stands alone");
    if (!invocation.operands.empty())
        throw UsageError(name + " stands alone, not with " + quoted(invocation.operands.front()));
}

}  // namespace

Invocation parseArguments(const std::vector<std::wstring>& arguments) {
    Invocation invocation;
    Options& options = invocation.options;
    bool optionsEnded = false;
    unsigned seen = 0;  // bit i: kOptions[i] was given
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        const bool isOption = !optionsEnded &&
                              ((argument.size() > 1 && argument[0] == L'-') || argument == kWindowsHelp);
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
        if (argument == L"--") {
            optionsEnded = true;
            continue;
        }

        size_t valueAt = 0;
        const OptionSpec* option = findOption(argument == kWindowsHelp ? L"--help" : std::wstring_view(argument),
                                              valueAt);
        if (!option) throw UsageError("unknown option " + quoted(argument));
        const unsigned bit = 1u << (option - kOptions);
        if (seen & bit) throw UsageError(nameOf(*option) + " is given twice");
        seen |= bit;
        if (option->on) {
            options.*option->on = true;
            continue;
        }
        std::wstring value;
        if (valueAt) {
            value = argument.substr(valueAt);
        } else {
            if (i + 1 == arguments.size())
                throw UsageError(nameOf(*option) + " needs " + std::string(option->valueWord));
            value = arguments[++i];
        }
        const std::string_view noun = option->valueWord.substr(0, option->valueWord.find(':'));
        if (value.empty()) throw UsageError(nameOf(*option) + " needs " + std::string(noun) + ", not an empty name");
        options.*option->value = std::move(value);
    }

    const bool commandNamed = invocation.command != nullptr;
    if (!commandNamed) invocation.command = &commands().front();
    if (options.help || options.version) {
        checkStandsAlone(invocation);
        return invocation;
    }
    checkAgainstCommand(invocation, commandNamed);
    return invocation;
}

}  // namespace Corvane::cli
