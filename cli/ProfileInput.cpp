#include "cli/ProfileInput.h"

#include <algorithm>
#include <system_error>

#include "cli/ToolError.h"
#include "cli/Utf8.h"
#include "toolkit/profile/ProfileJson.h"

namespace Corvane::cli {

namespace fs = std::filesystem;

std::string displayPath(const fs::path& path) { return toUtf8(fs::path(path).make_preferred().wstring()); }

std::vector<fs::path> profilesInFolder(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (it->is_regular_file() && it->path().extension() == ".json") files.push_back(it->path());
    }
    if (error) throw ToolError(displayPath(folder) + ": cannot list the folder: " + error.message());
    std::sort(files.begin(), files.end());
    return files;
}

std::string readAllLimited(std::FILE* in, size_t limit) {
    std::string bytes;
    char chunk[1 << 16];
    for (size_t read; (read = std::fread(chunk, 1, sizeof chunk, in)) > 0;) {
        if (bytes.size() + read > limit) {
            throw profile::ProfileError("profile: standard input: " + profile::tooLarge(bytes.size() + read) +
                                        " (stopped reading there)");
        }
        bytes.append(chunk, read);
    }
    if (std::ferror(in)) throw ToolError("cannot read standard input");
    return bytes;
}

bool ProfileLines::fill() {
    if (at_ < buffer_.size()) return true;
    buffer_.resize(1 << 16);
    buffer_.resize(std::fread(buffer_.data(), 1, buffer_.size(), in_));
    at_ = 0;
    return !buffer_.empty();
}

std::optional<ProfileLines::Line> ProfileLines::next() {
    for (;;) {
        Line line{++number_, {}, false};
        bool sawAny = false, ended = false;
        while (!ended && fill()) {
            sawAny = true;
            const size_t end = buffer_.find('\n', at_);
            ended = end != std::string::npos;
            const size_t stop = ended ? end : buffer_.size();
            const size_t room = limit_ - std::min(limit_, line.text.size());
            line.tooLong = line.tooLong || stop - at_ > room;
            line.text.append(buffer_, at_, std::min(stop - at_, room));
            at_ = ended ? stop + 1 : stop;
        }
        if (!sawAny) return std::nullopt;
        if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
        if (line.tooLong || line.text.find_first_not_of(" \t") != std::string::npos) return line;
    }
}

}  // namespace Corvane::cli
