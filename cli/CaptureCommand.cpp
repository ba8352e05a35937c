// corvane-vmd capture: every fact of this machine that any check reads, as
// the one file support asks for.  The checks run in this process on the
// library's own code, bound to a recording machine; the DLL is not needed.
// --output - (or no --output) writes the profile to standard output.

#include <windows.h>

#include <algorithm>
#include <filesystem>

#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/Output.h"
#include "cli/ProfileInput.h"
#include "cli/ToolError.h"
#include "cli/WindowsError.h"
#include "toolkit/capture/CaptureMachine.h"
#include "toolkit/capture/Redaction.h"
#include "toolkit/profile/ProfileJson.h"

namespace Corvane::cli {
namespace {

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() {
        if (valid()) ::CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// The profile into `file`, or a ToolError with Windows' own reason (a full
// disk, a folder that does not exist, access denied).
void writeProfile(const std::filesystem::path& file, const std::string& text) {
    const auto refuse = [&](DWORD error) {
        throw ToolError(displayPath(file) + ": cannot write the profile: " + describeWindowsError(error));
    };
    const FileHandle handle(
        ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.valid()) refuse(::GetLastError());
    for (size_t at = 0; at < text.size();) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - at, 1u << 20));
        if (!::WriteFile(handle.get(), text.data() + at, chunk, &written, nullptr)) refuse(::GetLastError());
        at += written;
    }
}

}  // namespace

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
        return kExitSuccess;
    }
    const std::filesystem::path file(*invocation.options.outputFile);
    writeProfile(file, profile::toJson(machine));
    if (!invocation.options.quiet) {
        const std::string name = displayPath(file);
        writeOut("Machine profile written to " + name + (invocation.options.redact ? " (redacted)" : "") +
                 "\nReplay it anywhere with: corvane-vmd replay " + name + " --explain\n");
    }
    return kExitSuccess;
}

}  // namespace Corvane::cli
