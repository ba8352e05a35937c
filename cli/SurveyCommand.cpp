// corvane-vmd survey PROFILE|FOLDER|- ...: many machine profiles replayed in
// one process, one JSON line each, in the order they are given (a folder's
// *.json files at any depth, sorted; "-" one profile per line of standard
// input).  A profile that cannot be read or replayed gives a line with
// "error" instead, and the survey goes on.

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/Output.h"
#include "cli/Utf8.h"
#include "toolkit/capture/Survey.h"
#include "toolkit/profile/ProfileJson.h"

namespace Corvane::cli {
namespace {

namespace fs = std::filesystem;

class Survey {
public:
    // Replays one profile and writes its line, or the error line that says why it could not.
    template <typename Load>
    void run(const std::string& where, Load&& load) {
        try {
            const profile::MachineProfile machine = load();
            const std::string name = machine.description.empty() ? where : machine.description;
            writeOut(capture::surveyLine(name, capture::surveyMachine(machine)) + "\n");
        } catch (const std::exception& error) {
            fail(where, error.what());
        }
    }

    void fail(const std::string& where, const std::string& error) {
        ++failures_;
        writeOut(capture::surveyErrorLine(where, error) + "\n");
    }

    bool allRead() const { return failures_ == 0; }

private:
    size_t failures_ = 0;
};

std::string display(const fs::path& path) { return toUtf8(path.wstring()); }

void surveyFile(Survey& survey, const fs::path& file) {
    survey.run(display(file), [&] { return profile::loadProfileFile(file); });
}

void surveyFolder(Survey& survey, const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (it->is_regular_file() && it->path().extension() == ".json") files.push_back(it->path());
    }
    if (error) survey.fail(display(folder), "cannot list the folder: " + error.message());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) surveyFile(survey, file);
}

// One profile per line; blank lines separate nothing and are skipped.
void surveyStandardInput(Survey& survey) {
    _setmode(_fileno(stdin), _O_BINARY);
    std::string line;
    size_t number = 0;
    char buffer[1 << 16];
    bool more = true;
    while (more) {
        line.clear();
        more = false;
        while (std::fgets(buffer, sizeof buffer, stdin)) {
            line += buffer;
            if (!line.empty() && line.back() == '\n') {
                more = true;
                break;
            }
        }
        if (!more && line.empty()) break;
        ++number;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        survey.run("-:" + std::to_string(number), [&] { return profile::parseProfile(line, fs::current_path()); });
        more = true;
    }
    if (std::ferror(stdin)) survey.fail("-", "cannot read standard input");
}

}  // namespace

int runSurvey(const Invocation& invocation) {
    Survey survey;
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
    return survey.allRead() ? kExitRecognised : kExitUsage;
}

}  // namespace Corvane::cli
