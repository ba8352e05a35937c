// corvane-vmd capture: every fact of this machine that any check reads, as
// the one file support asks for.  The checks run in this process on the
// library's own code, bound to a recording machine; the DLL is not needed.

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
    profile::MachineProfile machine = capture::captureMachine();
    if (invocation.options.redact) capture::redactProfile(machine);

    if (!invocation.options.outputFile) {
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
