#pragma once
// Failures the tool reports in one line on stderr before it exits with 2.
#include <stdexcept>

namespace Corvane::cli {

// The command line asks for something the tool does not offer.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The tool cannot do what was asked (a missing DLL, an unusable log folder).
class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace Corvane::cli
