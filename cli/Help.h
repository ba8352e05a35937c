#pragma once
#include <string>

namespace Corvane::cli {

// The text of --help: usage drawn from the command table, options, exit
// status and examples.
std::string helpText();

// The text of --version: the tool's version, and the library's when
// CorvaneVMD.dll can be loaded.
std::string versionText();

}  // namespace Corvane::cli
