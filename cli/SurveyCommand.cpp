// corvane-vmd survey PROFILE|FOLDER|- ...: many machine profiles replayed in
// one process, one JSON line each, in the order they are given (a folder's
// *.json files at any depth, sorted; "-" one profile per line of standard
// input).  A profile that cannot be read or replayed gives a line with
// "error" instead, and the survey goes on.  With --check each line also says
// whether the verdict is the one the profile expects.

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/Output.h"
#include "cli/ProfileInput.h"
#include "cli/ToolError.h"
#include "toolkit/capture/ExpectedCheck.h"
#include "toolkit/capture/Survey.h"
#include "toolkit/profile/ProfileEncoding.h"
#include "toolkit/profile/ProfileJson.h"

namespace Corvane::cli {
namespace {

namespace fs = std::filesystem;

class Survey {
public:
    explicit Survey(bool check) : check_(check) {}

    // Replays one profile and writes its line, or the error line that says why it could not.
    template <typename Load>
    void run(const std::string& where, Load&& load) {
        try {
            const profile::MachineProfile machine = load();
            const std::string name = capture::machineName(machine, where);
            const capture::SurveyResult result = capture::surveyMachine(machine);
            if (check_) {
                const bool asExpected = machine.expected &&
                                        capture::differencesFromExpected(*machine.expected, result).empty();
                differ_ += asExpected ? 0 : 1;
                writeOut(capture::checkedSurveyLine(name, result, machine.expected) + "\n");
            } else {
                writeOut(capture::surveyLine(name, result) + "\n");
            }
        } catch (const std::exception& error) {
            fail(where, error.what());
        }
    }

    void fail(const std::string& where, const std::string& error) {
        ++failures_;
        writeOut(capture::surveyErrorLine(where, error) + "\n");
    }

    // 2 when any profile could not be read; with --check, 1 when any verdict is not the expected one.
    int exitStatus() const { return failures_ ? kExitUsage : differ_ ? kExitNotRecognised : kExitSuccess; }

private:
    bool check_;
    size_t failures_ = 0;
    size_t differ_ = 0;
};

void surveyFile(Survey& survey, const fs::path& file) {
    survey.run(displayPath(file), [&] { return profile::loadProfileFile(file); });
}

void surveyFolder(Survey& survey, const fs::path& folder) {
    try {
        for (const fs::path& file : profilesInFolder(folder)) surveyFile(survey, file);
    } catch (const ToolError& error) {
        survey.fail(displayPath(folder), error.what());
    }
}

void surveyStandardInput(Survey& survey) {
    _setmode(_fileno(stdin), _O_BINARY);
    ProfileLines lines(stdin, profile::kMaxProfileBytes);
    while (const auto line = lines.next()) {
        const std::string where = "-:" + std::to_string(line->number);
        if (line->tooLong) {
            survey.fail(where, "profile: a line longer than the limit of " +
                                   std::to_string(profile::kMaxProfileBytes >> 20) + " MiB for one profile");
            continue;
        }
        survey.run(where, [&] { return profile::parseProfile(line->text, fs::current_path()); });
    }
    if (std::ferror(stdin)) survey.fail("-", "cannot read standard input");
}

}  // namespace

int runSurvey(const Invocation& invocation) {
    Survey survey(invocation.options.check);
    for (const std::wstring& operand : invocation.operands) {
        if (operand == L"-") {
            surveyStandardInput(survey);
            continue;
        }
        const fs::path path(operand);
        std::error_code error;
        if (fs::is_directory(path, error)) {
            surveyFolder(survey, path);
        } else {
            surveyFile(survey, path);
        }
    }
    return survey.exitStatus();
}

}  // namespace Corvane::cli
