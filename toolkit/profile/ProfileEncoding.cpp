#include "toolkit/profile/ProfileEncoding.h"

#include <string_view>

#include "toolkit/profile/ProfileJson.h"
#include "toolkit/profile/ProfileText.h"

namespace Corvane::profile {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

[[noreturn]] void notText(size_t offset) {
    throw ProfileError("profile: not a text file: a NUL byte at offset " + std::to_string(offset) +
                       " (a machine profile is JSON text, UTF-8 or UTF-16 with a byte order mark)");
}

// UTF-16 code units after the mark, in either byte order, straight to UTF-8
// (no wide copy of a file that may be large).  A lone surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    if (bytes.size() % 2) throw ProfileError("profile: not a text file: UTF-16 with an odd number of bytes");
    auto unitAt = [&](size_t i) {
        const auto first = static_cast<uint8_t>(bytes[i]), second = static_cast<uint8_t>(bytes[i + 1]);
        return static_cast<uint32_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    };
    std::string out;
    out.reserve(bytes.size() / 2);
    for (size_t i = 0; i < bytes.size(); i += 2) {
        uint32_t unit = unitAt(i);
        if (unit == 0) notText(i + kUtf16LeMark.size());
        if (unit >= 0xD800 && unit < 0xDC00 && i + 2 < bytes.size()) {
            const uint32_t low = unitAt(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (unit >= 0xD800 && unit < 0xE000) unit = 0xFFFD;
        appendUtf8(out, unit);
    }
    return out;
}

}  // namespace

std::string profileTextFromBytes(std::string bytes) {
    const std::string_view view(bytes);
    if (view.starts_with(kUtf16LeMark)) return utf16ToUtf8(view.substr(kUtf16LeMark.size()), false);
    if (view.starts_with(kUtf16BeMark)) return utf16ToUtf8(view.substr(kUtf16BeMark.size()), true);
    const size_t mark = view.starts_with(kUtf8Mark) ? kUtf8Mark.size() : 0;
    if (const size_t nul = view.find('\0'); nul != std::string_view::npos) notText(nul);
    bytes.erase(0, mark);
    return bytes;
}

}  // namespace Corvane::profile
