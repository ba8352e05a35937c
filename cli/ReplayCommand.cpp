// corvane-vmd replay FILE: the library's own code on a captured machine, with
// the verdict DetectVM gives there and, on request, why.  FILE "-" is standard
// input.

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <filesystem>

#include "cli/Commands.h"
#include "cli/CorvaneLibrary.h"
#include "cli/ExitCodes.h"
#include "cli/Output.h"
#include "cli/ToolError.h"
#include "cli/VerdictJson.h"
#include "toolkit/capture/Replay.h"
#include "toolkit/explain/ExplanationRender.h"
#include "toolkit/profile/ProfileEncoding.h"
#include "toolkit/profile/ProfileJson.h"

namespace Corvane::cli {
namespace {

// Standard input, whole, as bytes; refused once it passes the size limit, so
// an endless pipe costs no more than the limit.
std::string readStandardInput() {
    _setmode(_fileno(stdin), _O_BINARY);
    std::string bytes;
    char chunk[1 << 16];
    for (size_t read; (read = std::fread(chunk, 1, sizeof chunk, stdin)) > 0;) {
        if (bytes.size() + read > profile::kMaxProfileBytes) {
            throw ToolError("profile: standard input: " + profile::tooLarge(bytes.size() + read) + " (stopped reading there)");
        }
        bytes.append(chunk, read);
    }
    return bytes;
}

profile::MachineProfile loadMachine(const std::wstring& file) {
    try {
        if (file == L"-") return profile::readProfileBytes(readStandardInput(), "standard input", std::filesystem::current_path());
        return profile::loadProfileFile(std::filesystem::path(file));
    } catch (const profile::ProfileError& error) {
        // One line that names the field, as the profile reader words it.
        throw ToolError(error.what());
    }
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

}  // namespace

int runReplay(const Invocation& invocation) {
    explain::Explanation explanation = capture::replayMachine(loadMachine(invocation.operands.front()));
    const explain::Verdict reported = explanation.reported.value_or(explanation.verdict);
    if (invocation.options.quiet) return exitStatusForType(reported.type);
    describeLibrary(explanation);

    if (invocation.options.explain) {
        if (!explanation.agrees()) writeErr("corvane-vmd: " + explain::disagreementWarning(explanation) + "\n");
        writeOut(invocation.options.json ? explain::renderJson(explanation)
                                         : explain::renderText(explanation));
    } else if (invocation.options.json) {
        const auto version = explanation.libraryVersion.empty() ? std::nullopt : std::optional(explanation.libraryVersion);
        writeOut(verdictJson(reported, version, explanation.machine));
    } else {
        writeOut(explain::describeVerdict(reported) + "\n");
    }
    return exitStatusForType(reported.type);
}

}  // namespace Corvane::cli
