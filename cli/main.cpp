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

using namespace Corvane::cli;

int wmain(int argc, wchar_t** argv) {
    ::SetConsoleOutputCP(CP_UTF8);
    try {
        const Invocation invocation = parseArguments(std::vector<std::wstring>(argv + 1, argv + argc));
        if (invocation.options.help) {
            writeOut(helpText());
            return 0;
        }
        if (invocation.options.version) {
            writeOut(versionText());
            return 0;
        }
        return invocation.command->run(invocation);
    } catch (const UsageError& error) {
        writeErr("corvane-vmd: " + std::string(error.what()) + " (see corvane-vmd --help)\n");
    } catch (const ToolError& error) {
        writeErr("corvane-vmd: " + std::string(error.what()) + "\n");
    } catch (const std::exception& error) {
        writeErr("corvane-vmd: failed: " + std::string(error.what()) + "\n");
    } catch (...) {
        writeErr("corvane-vmd: failed with an unknown error\n");
    }
    return kExitUsage;
}
