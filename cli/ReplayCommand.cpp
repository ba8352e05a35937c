// corvane-vmd replay FILE: the library's own code on a captured machine, with
// the verdict DetectVM gives there and, on request, why.  FILE "-" is standard
// input.  replay --check holds the verdict of FILE, or of every profile of a
// folder, against each profile's own "expected" block.

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <filesystem>

#include "cli/Commands.h"
#include "cli/CorvaneLibrary.h"
#include "cli/ExitCodes.h"
#include "cli/Output.h"
#include "cli/ProfileInput.h"
#include "cli/ToolError.h"
#include "cli/VerdictJson.h"
#include "toolkit/capture/ExpectedCheck.h"
#include "toolkit/capture/Replay.h"
#include "toolkit/capture/Survey.h"
#include "toolkit/explain/ExplanationRender.h"
#include "toolkit/profile/ProfileEncoding.h"
#include "toolkit/profile/ProfileJson.h"

namespace Corvane::cli {
namespace {

namespace fs = std::filesystem;

profile::MachineProfile loadMachine(const std::wstring& file) {
    if (file != L"-") return profile::loadProfileFile(fs::path(file));
    _setmode(_fileno(stdin), _O_BINARY);
    return profile::readProfileBytes(readAllLimited(stdin, profile::kMaxProfileBytes), "standard input",
                                     fs::current_path());
}

// A replay runs the tool's own copy of the library; what it says about a DLL
// comes from the one beside it, when that one answers.
void describeLibrary(explain::Explanation& explanation) {
    try {
        explanation.libraryVersion = CorvaneLibrary::loadBesideExecutable().libVersion();
    } catch (const ToolError& error) {
        explanation.libraryMissing = error.what();
    }
}

// replay --check: a line for each profile, then the count; 0 when every
// verdict is the expected one, 1 when any differs, 2 when any profile could
// not be read or expects nothing.
int checkProfiles(const std::wstring& operand, bool quiet) {
    std::vector<fs::path> files;
    std::error_code error;
    if (operand != L"-" && fs::is_directory(fs::path(operand), error)) {
        files = profilesInFolder(fs::path(operand));
    } else {
        files.emplace_back(operand);
    }
    size_t agree = 0, differ = 0, unchecked = 0;
    for (const fs::path& file : files) {
        const std::string where = file == L"-" ? "standard input" : displayPath(file);
        std::string line;
        try {
            const profile::MachineProfile machine = loadMachine(file.wstring());
            const capture::SurveyResult result = capture::surveyMachine(machine);
            if (!machine.expected) {
                ++unchecked;
                line = "UNCHECKED " + where + ": the profile has no \"expected\" block";
            } else if (const auto differences = capture::differencesFromExpected(*machine.expected, result);
                       differences.empty()) {
                ++agree;
                line = "ok        " + where + ": " + explain::describeVerdict(result.verdict);
            } else {
                ++differ;
                line = "DIFFERS   " + where + ":";
                for (size_t i = 0; i < differences.size(); ++i) line += (i ? "; " : " ") + differences[i];
            }
        } catch (const std::exception& failure) {
            ++unchecked;
            line = "UNREAD    " + where + ": " + failure.what();
        }
        if (!quiet) writeOut(line + "\n");
    }
    if (!quiet && files.size() > 1) {
        writeOut(std::to_string(files.size()) + " profiles: " + std::to_string(agree) + " as expected, " +
                 std::to_string(differ) + " differ, " + std::to_string(unchecked) + " not checked\n");
    }
    return unchecked ? kExitUsage : differ ? kExitNotRecognised : kExitSuccess;
}

}  // namespace

int runReplay(const Invocation& invocation) {
    if (invocation.options.check) return checkProfiles(invocation.operands.front(), invocation.options.quiet);
    explain::Explanation explanation = capture::replayMachine(loadMachine(invocation.operands.front()));
    const explain::Verdict reported = explanation.reported.value_or(explanation.verdict);
    if (invocation.options.quiet) return exitStatusForType(reported.type);
    describeLibrary(explanation);

    if (invocation.options.explain) {
        if (!explanation.agrees()) writeErr("corvane-vmd: " + explain::disagreementWarning(explanation) + "\n");
        writeOut(invocation.options.json ? explain::renderJson(explanation) : explain::renderText(explanation));
    } else if (invocation.options.json) {
        const auto version = explanation.libraryVersion.empty() ? std::nullopt
                                                                : std::optional(explanation.libraryVersion);
        writeOut(verdictJson(reported, version, explanation.machine));
    } else {
        writeOut(explain::describeVerdict(reported) + "\n");
    }
    return exitStatusForType(reported.type);
}

}  // namespace Corvane::cli
