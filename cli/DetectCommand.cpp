// The default command: one detection through the DLL's exports, or, with
// --explain, every check of every detector beside it.

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <iterator>
#include <string_view>

#include "cli/Commands.h"
#include "cli/CorvaneLibrary.h"
#include "cli/Elevation.h"
#include "cli/ExitCodes.h"
#include "cli/Output.h"
#include "cli/ToolError.h"
#include "cli/Utf8.h"
#include "cli/VerdictJson.h"
#include "cli/WindowsError.h"
#include "toolkit/explain/Explanation.h"
#include "toolkit/explain/ExplanationRender.h"

namespace Corvane::cli {
namespace {

using explain::Verdict;

bool isFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Names Windows keeps for devices in every folder ("C:\\con" is the console).
bool isDeviceName(std::wstring name) {
    static constexpr std::wstring_view kDevices[] = {L"con",  L"prn",  L"aux",  L"nul",  L"com1", L"com2",
                                                     L"com3", L"com4", L"com5", L"com6", L"com7", L"com8",
                                                     L"com9", L"lpt1", L"lpt2", L"lpt3", L"lpt4", L"lpt5",
                                                     L"lpt6", L"lpt7", L"lpt8", L"lpt9"};
    name = name.substr(0, name.find(L'.'));
    for (auto& c : name) c = static_cast<wchar_t>(towlower(c));
    return std::find(std::begin(kDevices), std::end(kDevices), name) != std::end(kDevices);
}

// Why `folder` cannot be created, when the name alone tells.
std::string refusedName(const std::wstring& folder) {
    if (folder.size() >= 2 && folder[1] == L':') {
        const wchar_t root[] = {folder[0], L':', L'\\', L'\0'};
        if (::GetDriveTypeW(root) == DRIVE_NO_ROOT_DIR) return "there is no drive " + toUtf8(folder.substr(0, 2));
    }
    const size_t cut = folder.find_last_of(L"\\/:");
    const std::wstring last = cut == std::wstring::npos ? folder : folder.substr(cut + 1);
    if (isDeviceName(last)) return toUtf8(last) + " is a device name Windows reserves in every folder";
    return "";
}

// Creates `folder` and its missing parents; throws the Windows error of the
// step that failed, in words.
void createFolder(std::wstring folder) {
    while (folder.size() > 1 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    if (isFolder(folder)) return;
    if (const std::string refused = refusedName(folder); !refused.empty()) {
        throw ToolError("cannot use " + toUtf8(folder) + " as log folder: " + refused);
    }
    const size_t cut = folder.find_last_of(L"\\/");
    // Parents down to a drive ("C:"), a share's root or the current folder.
    if (cut != std::wstring::npos && cut > 0 && folder[cut - 1] != L':' && folder[cut - 1] != L'\\') {
        createFolder(folder.substr(0, cut));
    }
    if (!::CreateDirectoryW(folder.c_str(), nullptr) && !isFolder(folder)) {
        const DWORD error = ::GetLastError();
        throw ToolError("cannot use " + toUtf8(folder) + " as log folder: " +
                        (error == ERROR_ALREADY_EXISTS ? std::string("it exists and is not a folder")
                                                       : describeWindowsError(error)));
    }
}

// The library creates the folder at its first log entry and throws out of
// DetectVM when it cannot; a clear message here is better.
void useLogFolder(const CorvaneLibrary& library, const std::wstring& folder) {
    createFolder(folder);
    library.setLogFolder(folder);
}

int explain(const Invocation& invocation, const CorvaneLibrary& library, const Verdict& reported) {
    utils::vmdetection::VMDetectionManager manager;
    explain::Explanation explanation = explain::explainDetection(manager);
    explanation.reported = reported;
    explanation.libraryVersion = library.libVersion();
    explanation.machine = "this machine";
    explanation.context.elevation = describeElevation();

    if (!explanation.agrees()) writeErr("corvane-vmd: " + explain::disagreementWarning(explanation) + "\n");
    writeOut(invocation.options.json ? explain::renderJson(explanation) : explain::renderText(explanation));
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
        writeOut(verdictJson(reported, library.libVersion(), "this machine"));
    } else if (!invocation.options.quiet) {
        writeOut(explain::describeVerdict(reported) + "\n");
    }
    return exitStatusForType(reported.type);
}

}  // namespace Corvane::cli
