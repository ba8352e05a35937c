// corvane-vmd capture: every fact of this machine that any check reads, as
// the one file support asks for.  The checks run in this process on the
// library's own code, bound to a recording machine; the DLL is not needed.
// --output - (or no --output) writes the profile to standard output.

#include <filesystem>

#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/Output.h"
#include "cli/ToolError.h"
#include "cli/Utf8.h"
#include "toolkit/capture/CaptureMachine.h"
#include "toolkit/capture/Redaction.h"
#include "toolkit/profile/ProfileJson.h"

namespace Corvane::cli {

int runCapture(const Invocation& invocation) {
    const bool toStandardOutput = !invocation.options.outputFile || *invocation.options.outputFile == L"-";
    // --quiet prints nothing; a profile written nowhere is a mistake, not a wish.
    if (toStandardOutput && invocation.options.quiet) {
        throw UsageError("capture --quiet prints nothing, so the profile needs a file: --output FILE");
    }

    profile::MachineProfile machine = capture::captureMachine();
    if (invocation.options.redact) capture::redactProfile(machine);

    if (toStandardOutput) {
        writeOut(profile::toJson(machine));
        return kExitRecognised;
    }
    const std::filesystem::path file(*invocation.options.outputFile);
    try {
        profile::saveProfileFile(machine, file);
    } catch (const profile::ProfileError& error) {
        throw ToolError(error.what());
    }
    if (!invocation.options.quiet) {
        const std::string name = toUtf8(file.wstring());
        writeOut("Machine profile written to " + name + (invocation.options.redact ? " (redacted)" : "") +
                 "\nReplay it anywhere with: corvane-vmd replay " + name + " --explain\n");
    }
    return kExitRecognised;
}

}  // namespace Corvane::cli
