#pragma once
// Runs a program (this one again, by default) in a fresh process and collects
// what it prints.

#include <string>
#include <vector>

namespace corvane_bench {

struct ChildResult {
    unsigned long exitCode = 0;
    std::string output;  // everything the child wrote to its standard output
};

// Starts `program` with `arguments` (each quoted), waits for it and returns
// its exit code and output.  Throws std::runtime_error when it cannot start.
ChildResult runProgram(const std::wstring& program, const std::vector<std::wstring>& arguments);

// The same with this executable.
ChildResult runSelf(const std::vector<std::wstring>& arguments);

// The full path of this executable.
std::wstring ownPath();

// The command line of `arguments`, quoted by the rules CommandLineToArgvW reads back.
std::wstring quoteArguments(const std::vector<std::wstring>& arguments);

}  // namespace corvane_bench
