#pragma once
// Runs a program (this one again, by default) in a fresh process and collects
// what it prints.

#include <functional>
#include <string>
#include <vector>

namespace corvane_bench {

struct ChildResult {
    unsigned long exitCode = 0;
    std::string output;    // everything the child wrote to its standard output
    bool stalled = false;  // ended by wait() because it made no progress
};

// A program started with its standard output on a pipe.  Throws
// std::runtime_error when it cannot start.
class RunningChild {
public:
    RunningChild(const std::wstring& program, const std::vector<std::wstring>& arguments);
    ~RunningChild();
    RunningChild(const RunningChild&) = delete;
    RunningChild& operator=(const RunningChild&) = delete;

    // Reads its output to the end and waits for it to exit.
    ChildResult wait();

    // Waits for it to exit while `progress` keeps changing: when it returns
    // the same value for `patienceMs`, the child is ended (exit code 1,
    // `stalled` set).  Reads its output afterwards, so it must fit the pipe.
    ChildResult waitWhileProgressing(const std::function<unsigned long long()>& progress, unsigned patienceMs);

private:
    void* process_ = nullptr;
    void* output_ = nullptr;
};

// Starts `program` with `arguments` (each quoted), waits for it and returns
// its exit code and output.
ChildResult runProgram(const std::wstring& program, const std::vector<std::wstring>& arguments);

// The same with this executable.
ChildResult runSelf(const std::vector<std::wstring>& arguments);

// The full path of this executable.
std::wstring ownPath();

// The command line of `arguments`, quoted by the rules CommandLineToArgvW reads back.
std::wstring quoteArguments(const std::vector<std::wstring>& arguments);

}  // namespace corvane_bench
