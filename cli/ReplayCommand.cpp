// corvane-vmd replay FILE: the library's own code on a captured machine, with
// the verdict DetectVM gives there and, on request, why.

#include <filesystem>

#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/Output.h"
#include "cli/ToolError.h"
#include "toolkit/explain/ExplanationRender.h"
#include "toolkit/capture/Replay.h"
#include "toolkit/profile/ProfileJson.h"

namespace Corvane::cli {
namespace {

profile::MachineProfile loadMachine(const std::wstring& file) {
    try {
        return profile::loadProfileFile(std::filesystem::path(file));
    } catch (const profile::ProfileError& error) {
        // One line that names the field, as the profile reader words it.
        throw ToolError(error.what());
    }
}

}  // namespace

int runReplay(const Invocation& invocation) {
    const profile::MachineProfile machine = loadMachine(invocation.operands.front());
    const diagnostics::explain::Explanation explanation = capture::replayMachine(machine);
    const diagnostics::explain::Verdict reported = explanation.reported.value_or(explanation.verdict);

    if (invocation.options.explain) {
        if (!explanation.agrees()) writeErr("corvane-vmd: " + diagnostics::explain::disagreementWarning(explanation) + "\n");
        writeOut(invocation.options.json ? diagnostics::explain::renderJson(explanation)
                                         : diagnostics::explain::renderText(explanation));
    } else if (invocation.options.json) {
        const nlohmann::ordered_json document = {
            {"type", reported.type}, {"name", reported.name}, {"machine", explanation.machine}};
        writeOut(document.dump() + "\n");
    } else if (!invocation.options.quiet) {
        writeOut(diagnostics::explain::describeVerdict(reported) + "\n");
    }
    return exitStatusForType(reported.type);
}

}  // namespace Corvane::cli
