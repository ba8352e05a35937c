// corvane-vmd's command line: what each way of calling it asks for, and the
// one-line usage errors.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/ToolError.h"
#include "cli/WindowsError.h"

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

TEST(CommandLine, HelpAndVersionNeedNothingElseToBeRight) {
    EXPECT_TRUE(parse({L"--help"}).options.help);
    EXPECT_TRUE(parse({L"-h", L"--quiet", L"--json"}).options.help);
    EXPECT_TRUE(parse({L"--version", L"frobnicate"}).options.version);
    // An unknown option is still an error, whatever else is asked.
    EXPECT_EQ(usageError({L"--help", L"--bogus"}), "unknown option '--bogus'");
}

TEST(CommandLine, MistakesAreOneLineUsageErrors) {
    EXPECT_EQ(usageError({L"--bogus"}), "unknown option '--bogus'");
    EXPECT_EQ(usageError({L"-x"}), "unknown option '-x'");
    EXPECT_EQ(usageError({L"frobnicate"}), "unknown command 'frobnicate'");
    EXPECT_EQ(usageError({L"detect", L"extra"}), "too many operands for detect: 'extra'");
    EXPECT_EQ(usageError({L"--log"}), "--log needs a folder: --log DIR");
    EXPECT_EQ(usageError({L"--log="}), "--log needs a folder, not an empty name");
    EXPECT_EQ(usageError({L"--log", L""}), "--log needs a folder, not an empty name");
    EXPECT_EQ(usageError({L"--quiet", L"--json"}), "--quiet and --json exclude each other");
    EXPECT_EQ(usageError({L"--explain", L"-q"}), "--quiet and --explain exclude each other");
    // After "--" every word is an operand, even one that looks like an option.
    EXPECT_EQ(usageError({L"--", L"--json"}), "unknown command '--json'");
    // Non-ASCII text comes back readable.
    EXPECT_EQ(usageError({L"--\u00fcber"}), "unknown option '--\xc3\xbc" "ber'");
}

TEST(ExitStatus, FollowsTheTypeCodeAsSystemdDetectVirtDoes) {
    for (int type = 2; type <= 8; ++type) EXPECT_EQ(exitStatusForType(type), kExitRecognised) << type;
    for (int type : {0, 1, 9, 10, -1}) EXPECT_EQ(exitStatusForType(type), kExitNotRecognised) << type;
    EXPECT_EQ(kExitUsage, 2);
}

TEST(WindowsError, GivesTheLikelyCauseThenTheSystemsTextOnOneLine) {
    const std::string text = describeWindowsError(ERROR_BAD_EXE_FORMAT);
    EXPECT_EQ(text.rfind("not a 64-bit DLL (Windows error 193: ", 0), 0u) << text;
    EXPECT_EQ(text.find_first_of("%\r\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace Corvane::cli
