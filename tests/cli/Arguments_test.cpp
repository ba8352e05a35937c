// corvane-vmd's command line: what each way of calling it asks for, and the
// one-line usage errors.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/ToolError.h"

namespace Corvane::cli {
namespace {

Invocation parse(std::vector<std::wstring> arguments) { return parseArguments(arguments); }

std::string usageError(std::vector<std::wstring> arguments) {
    try {
        parseArguments(arguments);
    } catch (const UsageError& error) {
        return error.what();
    }
    return "(accepted)";
}

TEST(CommandLine, NoArgumentsRunTheDefaultDetection) {
    const Invocation invocation = parse({});
    ASSERT_NE(invocation.command, nullptr);
    EXPECT_EQ(invocation.command, &commands().front());
    EXPECT_EQ(invocation.command->name, "detect");
    EXPECT_TRUE(invocation.operands.empty());
    EXPECT_FALSE(invocation.options.json || invocation.options.quiet || invocation.options.explain);
    EXPECT_FALSE(invocation.options.logFolder.has_value());
}

TEST(CommandLine, OptionsStandBeforeOrAfterTheCommandWord) {
    const Invocation before = parse({L"--explain", L"--json", L"detect"});
    EXPECT_EQ(before.command->name, "detect");
    EXPECT_TRUE(before.options.explain && before.options.json);

    const Invocation after = parse({L"detect", L"--log", L"C:\\Temp\\logs", L"-q"});
    EXPECT_TRUE(after.options.quiet);
    EXPECT_EQ(after.options.logFolder, L"C:\\Temp\\logs");
    EXPECT_TRUE(after.operands.empty());

    EXPECT_EQ(parse({L"--log=D:\\logs folder"}).options.logFolder, L"D:\\logs folder");
    // A folder whose name looks like an option is still the folder.
    EXPECT_EQ(parse({L"--log", L"--json"}).options.logFolder, L"--json");
}

TEST(CommandLine, HelpAndVersionStandAlone) {
    EXPECT_TRUE(parse({L"--help"}).options.help);
    EXPECT_TRUE(parse({L"/?"}).options.help);
    EXPECT_TRUE(parse({L"replay", L"-h"}).options.help);
    EXPECT_TRUE(parse({L"--version"}).options.version);
}

TEST(CommandLine, MistakesAreOneLineUsageErrors) {
    const std::pair<std::vector<std::wstring>, const char*> rows[] = {
        {{L"--bogus"}, "unknown option '--bogus'"},
        {{L"-x"}, "unknown option '-x'"},
        {{L"frobnicate"}, "unknown command 'frobnicate'"},
        {{L"detect", L"extra"}, "too many operands for detect: 'extra'"},
        {{L"--log"}, "--log needs a folder: --log DIR"},
        {{L"--log="}, "--log needs a folder, not an empty name"},
        {{L"--log", L""}, "--log needs a folder, not an empty name"},
        {{L"--output=", L"capture"}, "--output needs a file, not an empty name"},
        {{L"--quiet", L"--json"}, "--quiet and --json exclude each other"},
        {{L"--explain", L"-q"}, "--quiet and --explain exclude each other"},
        {{L"replay", L"x", L"--check", L"--json"},
         "--check and --json exclude each other (survey --check gives JSON lines)"},
        {{L"--redact"}, "--redact does not apply to detect"},
        {{L"--json", L"--json"}, "--json is given twice"},
        {{L"-q", L"--quiet"}, "--quiet is given twice"},
        {{L"--log=a", L"--log", L"b"}, "--log is given twice"},
        {{L"--help", L"extra"}, "--help stands alone, not with 'extra'"},
        {{L"-h", L"--quiet"}, "--help stands alone"},
        {{L"--version", L"--json"}, "--version stands alone"},
        {{L"--help", L"--version"}, "--help and --version exclude each other"},
        {{L"--help", L"--bogus"}, "unknown option '--bogus'"},
        {{L"/h"}, "unknown command '/h'"},
        // After "--" every word is an operand, even one that looks like an option.
        {{L"--", L"--json"}, "unknown command '--json'"},
        // Non-ASCII text comes back readable.
        {{L"--\u00fcber"},
         "unknown option '--\xc3\xbc"
         "ber'"},
    };
    for (const auto& [arguments, error] : rows) EXPECT_EQ(usageError(arguments), error) << error;
}

TEST(ExitStatus, FollowsTheTypeCodeAsSystemdDetectVirtDoes) {
    for (int type = 2; type <= 8; ++type) EXPECT_EQ(exitStatusForType(type), kExitRecognised) << type;
    for (int type : {0, 1, 9, 10, -1}) EXPECT_EQ(exitStatusForType(type), kExitNotRecognised) << type;
}

}  // namespace
}  // namespace Corvane::cli
