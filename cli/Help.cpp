#include "cli/Help.h"

#include "cli/Commands.h"
#include "cli/CorvaneLibrary.h"
#include "cli/ExitCodes.h"
#include "cli/Output.h"
#include "cli/ToolError.h"
#include "cli/Utf8.h"
#include "toolkit/explain/TextWrap.h"

namespace Corvane::cli {
namespace {

using explain::wrapText;

constexpr size_t kDescriptionIndent = 6;
constexpr size_t kOptionColumn = 17;  // after "  --output FILE  "

// A term (a synopsis, an example), then what it does on indented lines.
std::string entry(const std::string& term, std::string_view description) {
    return wrapText("  " + term, 4) +
           wrapText(std::string(kDescriptionIndent, ' ') + std::string(description), kDescriptionIndent);
}

// An option and its effect, the effect in a column of its own.
std::string option(std::string_view name, std::string_view effect) {
    std::string line = "  " + std::string(name);
    line.append(line.size() < kOptionColumn ? kOptionColumn - line.size() : 1, ' ');
    return wrapText(line + std::string(effect), kOptionColumn);
}

}  // namespace

std::string helpText() {
    std::string text = "corvane-vmd " CORVANE_VERSION
                       ": is this Windows machine a virtual machine guest, or Wine?\n"
                       "It asks CorvaneVMD.dll, which must sit beside corvane-vmd.exe.\n\n"
                       "Usage:\n";
    for (const Command& command : commands()) {
        text += entry("corvane-vmd " + std::string(command.synopsis), command.summary);
    }
    text += "  corvane-vmd --help | --version\n\n";
    text += "Options:\n";
    text += option("--json", "print one JSON object instead of text");
    text += option("--quiet, -q", "print nothing; the exit status tells (capture needs --output FILE)");
    text += option("--explain",
                   "run every check of every detector, the general steps included, without stopping at the "
                   "first sign; show each sign, the artefacts behind it and its time, and mark the checks "
                   "that decide the verdict");
    text += option("--log DIR", "let CorvaneVMD.dll append its log to DIR\\CorvaneLog.txt");
    text += option("--output FILE", "capture: write the machine profile to FILE (- is stdout)");
    text += option("--redact",
                   "capture: leave out serial numbers, UUIDs, MAC address tails and computer, user and "
                   "network names; every verdict stays the same");
    text += option("--version", "print the versions of the tool and of CorvaneVMD.dll");
    text += option("--help, -h, /?", "print this help");
    text +=
        "\n"
        "Exit status:\n"
        "  0  a product was recognised: VirtualBox, VMWare, Parallels, Qemu, Hyper-V,\n"
        "     Wine or Xen\n"
        "  1  no product was recognised\n"
        "  2  a usage error, or the tool could not run (CorvaneVMD.dll missing, ...)\n\n"
        "Examples:\n";
    text += entry("corvane-vmd",
                  "prints the verdict, e.g. \"VMWare (type 6)\" or \"no product (type 1)\". On plain "
                  "Wine it prints \"VirtualBox (type 4)\": Wine's BIOS serial number \"0\" opens the "
                  "gate, and Wine lists no ACPI tables, which the rules count as a sign of VirtualBox, "
                  "asked before Wine");
    text += entry("corvane-vmd --quiet && echo guest", "branch on the exit status alone");
    text += entry("corvane-vmd --json",
                  "{\"type\":4,\"name\":\"VirtualBox\",\"libraryVersion\":\"1.0.0.0\",\"machine\":\"this machine\"} on "
                  "plain Wine");
    text += entry("corvane-vmd --explain", "why the verdict is what it is: every check, its sign and its artefacts");
    text += entry("corvane-vmd --explain --json --log C:\\Temp\\corvane > explain.json",
                  "the same as one JSON object, with the library's own log");
    text += entry("corvane-vmd capture --redact --output machine.json", "the one file support asks for");
    text += entry("corvane-vmd replay machine.json --explain", "that machine's verdict and why, anywhere");
    text += entry("corvane-vmd capture | corvane-vmd replay - --json", "FILE - is standard input");
    text += entry("corvane-vmd survey profiles\\ > results.jsonl", "one line a profile; 2 if any was unreadable");
    return text;
}

int printVersion() {
    writeOut("corvane-vmd " CORVANE_VERSION "\n");
    try {
        const CorvaneLibrary library = CorvaneLibrary::loadBesideExecutable();
        writeOut("CorvaneVMD.dll " + library.libVersion() + " (" + toUtf8(library.path()) + ")\n");
        return kExitSuccess;
    } catch (const ToolError& error) {
        writeErr("corvane-vmd: " + std::string(error.what()) + "\n");
        return kExitUsage;
    }
}

}  // namespace Corvane::cli
