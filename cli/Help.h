#pragma once
#include <string>

namespace Corvane::cli {

// The text of --help: usage drawn from the command table, options, exit
// status and examples.
std::string helpText();

// --version: the tool's version on stdout, and the library's when
// CorvaneVMD.dll answers; when it does not, why on stderr and status 2.
int printVersion();

}  // namespace Corvane::cli
