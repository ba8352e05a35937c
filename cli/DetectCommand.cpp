// The default command: one detection through the DLL's exports, or, with
// --explain, every check of every detector beside it.

#include <filesystem>
#include <system_error>

#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "cli/CorvaneLibrary.h"
#include "cli/Elevation.h"
#include "cli/ExitCodes.h"
#include "cli/Output.h"
#include "cli/ToolError.h"
#include "cli/Utf8.h"
#include "toolkit/explain/Explanation.h"
#include "toolkit/explain/ExplanationRender.h"

namespace Corvane::cli {
namespace {

using diagnostics::explain::Verdict;

// The library creates the folder at its first log entry and throws out of
// DetectVM when it cannot; a clear message here is better.
void useLogFolder(const CorvaneLibrary& library, const std::wstring& folder) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(folder), error);
    if (error) throw ToolError("cannot use " + toUtf8(folder) + " as log folder: " + error.message());
    library.setLogFolder(folder);
}

std::string verdictJson(const Verdict& verdict, const std::string& libraryVersion) {
    const nlohmann::ordered_json document = {
        {"type", verdict.type}, {"name", verdict.name}, {"libraryVersion", libraryVersion}};
    return document.dump() + "\n";
}

int explain(const Invocation& invocation, const CorvaneLibrary& library, const Verdict& reported) {
    utils::vmdetection::VMDetectionManager manager;
    diagnostics::explain::Explanation explanation = diagnostics::explain::explainDetection(manager);
    explanation.reported = reported;
    explanation.libraryVersion = library.libVersion();
    explanation.machine = "this machine";
    explanation.context.elevation = describeElevation();

    if (!explanation.agrees()) writeErr("corvane-vmd: " + diagnostics::explain::disagreementWarning(explanation) + "\n");
    writeOut(invocation.options.json ? diagnostics::explain::renderJson(explanation)
                                     : diagnostics::explain::renderText(explanation));
    // The library's own answer decides the status, as without --explain.
    return exitStatusForType(reported.type);
}

}  // namespace

int runDetect(const Invocation& invocation) {
    const CorvaneLibrary library = CorvaneLibrary::loadBesideExecutable();
    if (invocation.options.logFolder) useLogFolder(library, *invocation.options.logFolder);

    library.detectVM();
    const Verdict reported{library.vmType(), library.vmName()};

    if (invocation.options.explain) return explain(invocation, library, reported);
    if (invocation.options.json) {
        writeOut(verdictJson(reported, library.libVersion()));
    } else if (!invocation.options.quiet) {
        writeOut(diagnostics::explain::describeVerdict(reported) + "\n");
    }
    return exitStatusForType(reported.type);
}

}  // namespace Corvane::cli
