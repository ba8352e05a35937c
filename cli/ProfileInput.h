#pragma once
// Where the command line's profiles come from: files, folders of them, and
// standard input, whole (replay -) or one profile a line (survey -).  Every
// source is held to the profile size limit as it is read.

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace Corvane::cli {

// A path as messages and outputs show it: Windows form, "\" between names.
std::string displayPath(const std::filesystem::path& path);

// Every *.json file of `folder` at any depth, sorted by path, so that a run
// over a folder gives the same order on every machine.  Throws ToolError when
// the folder cannot be listed.
std::vector<std::filesystem::path> profilesInFolder(const std::filesystem::path& folder);

// All of `in`, refused (ProfileError) the moment it passes `limit` bytes: an
// endless pipe costs no more than the limit.
std::string readAllLimited(std::FILE* in, size_t limit);

// The lines of `in`, one profile each: blank lines are skipped, a last line
// without a newline is kept, and a line over `limit` bytes is reported as too
// long (its bytes dropped as they are read).
class ProfileLines {
public:
    struct Line {
        size_t number;     // 1 for the first line of the input
        std::string text;  // without its line break
        bool tooLong;
    };

    ProfileLines(std::FILE* in, size_t limit) : in_(in), limit_(limit) {}
    std::optional<Line> next();

private:
    bool fill();  // false at the end of the input

    std::FILE* in_;
    size_t limit_;
    size_t number_ = 0;
    std::string buffer_;
    size_t at_ = 0;
};

}  // namespace Corvane::cli
