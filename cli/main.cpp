// corvane-vmd: tells whether this Windows machine is a virtual machine guest
// (or Wine), through CorvaneVMD.dll, and explains the verdict on request.

#include <windows.h>

#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/Help.h"
#include "cli/Output.h"
#include "cli/ToolError.h"
#include "toolkit/profile/ProfileJson.h"

using namespace Corvane::cli;

namespace {

// Artefacts are UTF-8; the console's own code page is given back at exit,
// since it belongs to the console, not to this process.
class Utf8Console {
public:
    Utf8Console() : previous_(::GetConsoleOutputCP()) {
        if (previous_ != 0) ::SetConsoleOutputCP(CP_UTF8);
    }
    ~Utf8Console() {
        if (previous_ != 0) ::SetConsoleOutputCP(previous_);
    }
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

private:
    UINT previous_;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const Utf8Console console;
    try {
        const Invocation invocation = parseArguments(std::vector<std::wstring>(argv + 1, argv + argc));
        if (invocation.options.help) {
            writeOut(helpText());
            return kExitSuccess;
        }
        if (invocation.options.version) return printVersion();
        return invocation.command->run(invocation);
    } catch (const UsageError& error) {
        writeErr("corvane-vmd: " + std::string(error.what()) + " (see corvane-vmd --help)\n");
    } catch (const ToolError& error) {
        writeErr("corvane-vmd: " + std::string(error.what()) + "\n");
    } catch (const Corvane::profile::ProfileError& error) {
        // One line that names the field, as the profile reader words it.
        writeErr("corvane-vmd: " + std::string(error.what()) + "\n");
    } catch (const std::exception& error) {
        writeErr("corvane-vmd: failed: " + std::string(error.what()) + "\n");
    } catch (...) {
        writeErr("corvane-vmd: failed with an unknown error\n");
    }
    return kExitUsage;
}
