#include "bench/ChildProcess.h"

#include <windows.h>

#include <stdexcept>

namespace corvane_bench {
namespace {

std::wstring quoteOne(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, L'\\');  // before the closing quote
    quoted.push_back(L'"');
    return quoted;
}

}  // namespace

std::wstring ownPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring quoteArguments(const std::vector<std::wstring>& arguments) {
    std::wstring line;
    for (const auto& argument : arguments) {
        if (!line.empty()) line += L' ';
        line += quoteOne(argument);
    }
    return line;
}

ChildResult runSelf(const std::vector<std::wstring>& arguments) { return runProgram(ownPath(), arguments); }

ChildResult runProgram(const std::wstring& program, const std::vector<std::wstring>& arguments) {
    return RunningChild(program, arguments).wait();
}

RunningChild::RunningChild(const std::wstring& program, const std::vector<std::wstring>& arguments) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) throw std::runtime_error("CreatePipe failed");
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    std::vector<std::wstring> all{program};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::wstring commandLine = quoteArguments(all);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        throw std::runtime_error("cannot start a child process (error " + std::to_string(GetLastError()) + ")");
    }
    CloseHandle(process.hThread);
    process_ = process.hProcess;
    output_ = readEnd;
}

RunningChild::~RunningChild() {
    if (output_) CloseHandle(output_);
    if (process_) CloseHandle(process_);
}

ChildResult RunningChild::wait() {
    ChildResult result;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(output_, buffer, sizeof buffer, &got, nullptr) && got > 0) result.output.append(buffer, got);
    WaitForSingleObject(process_, INFINITE);
    GetExitCodeProcess(process_, &result.exitCode);
    return result;
}

ChildResult RunningChild::waitWhileProgressing(const std::function<unsigned long long()>& progress,
                                               unsigned patienceMs) {
    constexpr DWORD kSliceMs = 250;
    unsigned long long last = progress();
    unsigned stillFor = 0;
    bool stalled = false;
    while (WaitForSingleObject(process_, kSliceMs) == WAIT_TIMEOUT) {
        const unsigned long long now = progress();
        stillFor = now == last ? stillFor + kSliceMs : 0;
        last = now;
        if (stillFor >= patienceMs) {
            TerminateProcess(process_, 1);
            stalled = true;
            break;
        }
    }
    ChildResult result = wait();
    result.stalled = stalled;
    return result;
}

}  // namespace corvane_bench
