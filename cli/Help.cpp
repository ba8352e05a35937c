#include "cli/Help.h"

#include "cli/Commands.h"
#include "cli/CorvaneLibrary.h"
#include "cli/ToolError.h"
#include "cli/Utf8.h"

namespace Corvane::cli {

std::string helpText() {
    std::string text = "corvane-vmd " CORVANE_VERSION
                       ": is this Windows machine a virtual machine guest, or Wine?\n"
                       "It asks CorvaneVMD.dll, which must sit beside corvane-vmd.exe.\n\n"
                       "Usage:\n";
    for (const Command& command : commands()) {
        text += "  corvane-vmd " + std::string(command.synopsis) + "\n      " + std::string(command.summary) + "\n";
    }
    text += "  corvane-vmd --help | --version\n\n";
    text +=
        "Options:\n"
        "  --json       print one JSON object instead of text\n"
        "  --quiet, -q  print nothing; the exit status tells\n"
        "  --explain    run every check of every detector, the general steps included,\n"
        "               without stopping at the first sign; show each sign, the artefacts\n"
        "               behind it and its time, and mark the checks that decide the verdict\n"
        "  --log DIR    let CorvaneVMD.dll append its log to DIR\\CorvaneLog.txt\n"
        "  --output FILE  capture: write the machine profile to FILE instead of stdout\n"
        "  --redact     capture: leave out serial numbers, UUIDs, MAC address tails and\n"
        "               computer, user and network names; every verdict stays the same\n"
        "  --version    print the versions of the tool and of CorvaneVMD.dll\n"
        "  --help, -h   print this help\n\n"
        "Exit status:\n"
        "  0  a product was recognised: VirtualBox, VMWare, Parallels, Qemu, Hyper-V, Wine or Xen\n"
        "  1  no product was recognised\n"
        "  2  a usage error, or the tool could not run (CorvaneVMD.dll missing, ...)\n\n"
        "Examples:\n"
        "  corvane-vmd                          prints e.g. \"Wine (type 7)\"\n"
        "  corvane-vmd --quiet && echo guest    branch on the exit status alone\n"
        "  corvane-vmd --json                   {\"type\":7,\"name\":\"Wine\",\"libraryVersion\":\"1.0.0.0\"}\n"
        "  corvane-vmd --explain                why the verdict is what it is\n"
        "  corvane-vmd --explain --json --log C:\\Temp\\corvane > explain.json\n"
        "  corvane-vmd capture --redact --output machine.json   the one file support asks for\n"
        "  corvane-vmd replay machine.json --explain            that machine's verdict, anywhere\n"
        "  corvane-vmd survey profiles\\ > results.jsonl           one line a profile; 2 if any was unreadable\n";
    return text;
}

std::string versionText() {
    std::string text = "corvane-vmd " CORVANE_VERSION "\n";
    try {
        const CorvaneLibrary library = CorvaneLibrary::loadBesideExecutable();
        text += "CorvaneVMD.dll " + library.libVersion() + " (" + toUtf8(library.path()) + ")\n";
    } catch (const ToolError& error) {
        text += "CorvaneVMD.dll: " + std::string(error.what()) + "\n";
    }
    return text;
}

}  // namespace Corvane::cli
