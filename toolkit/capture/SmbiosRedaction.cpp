// Redacting the identifying fields of a raw SMBIOS table in place: the same
// structures, the same lengths, the same strings except for the redacted ones.

#include <array>
#include <cstring>
#include <set>
#include <string>

#include "toolkit/capture/Redaction.h"
#include "vmdetection/SearchWords.h"

namespace Corvane::capture {
namespace {

constexpr size_t kRawHeaderBytes = 8;  // RawSMBIOSData: calling method, versions, table length
constexpr uint8_t kEndOfTable = 127;

// Offsets of string-number bytes that name a serial number or an asset tag.
struct IdentifyingStrings {
    uint8_t type;
    std::array<uint8_t, 2> offsets;  // 0: none
};
constexpr IdentifyingStrings kIdentifyingStrings[] = {
    {1, {0x07, 0}},      // System: serial number
    {2, {0x07, 0x08}},   // Baseboard: serial number, asset tag
    {3, {0x07, 0x08}},   // Chassis: serial number, asset tag
    {4, {0x20, 0x21}},   // Processor: serial number, asset tag
    {17, {0x18, 0x19}},  // Memory device: serial number, asset tag
    {22, {0x07, 0}},     // Portable battery: serial number
    {39, {0x08, 0x09}},  // Power supply: serial number, asset tag
};
constexpr uint8_t kSystemUuidOffset = 0x08;
constexpr uint8_t kSystemUuidBytes = 16;

// The patterns the firmware checks search tables for, case-sensitively.
const std::vector<std::string>& firmwarePatterns() {
    static const std::vector<std::string> patterns = [] {
        std::set<std::string> bytes;
        utils::vmdetection::forEachSearchWord([&bytes](const utils::vmdetection::SearchWord& word) {
            if (word.match == utils::vmdetection::WordMatch::Bytes)
                bytes.insert(std::string(word.text.begin(), word.text.end()));
        });
        return std::vector<std::string>(bytes.begin(), bytes.end());
    }();
    return patterns;
}

// Bytes of the table that some firmware pattern covers: never changed.
std::vector<bool> patternMask(const std::vector<uint8_t>& table) {
    std::vector<bool> kept(table.size(), false);
    for (const std::string& pattern : firmwarePatterns()) {
        for (size_t at = 0; at + pattern.size() <= table.size(); ++at) {
            if (std::memcmp(table.data() + at, pattern.data(), pattern.size()) != 0) continue;
            for (size_t i = at; i < at + pattern.size(); ++i) kept[i] = true;
        }
    }
    return kept;
}

void redactString(std::vector<uint8_t>& table, size_t begin, size_t end) {
    std::wstring text;
    for (size_t i = begin; i < end; ++i) text += static_cast<wchar_t>(table[i]);
    const std::wstring redacted = redactText(text);
    for (size_t i = begin; i < end; ++i) table[i] = static_cast<uint8_t>(redacted[i - begin]);
}

}  // namespace

void redactSmbiosTable(std::vector<uint8_t>& raw) {
    if (raw.size() <= kRawHeaderBytes) return;
    const std::vector<bool> kept = patternMask(raw);
    const size_t end = raw.size();
    size_t at = kRawHeaderBytes;
    while (at + 4 <= end) {
        const uint8_t type = raw[at];
        const uint8_t length = raw[at + 1];
        if (length < 4 || at + length > end) break;  // a broken structure ends the walk

        // The string area: NUL-terminated strings, ended by an empty one.
        std::vector<std::pair<size_t, size_t>> strings;
        size_t cursor = at + length;
        while (cursor < end && raw[cursor] != 0) {
            const size_t begin = cursor;
            while (cursor < end && raw[cursor] != 0) ++cursor;
            strings.emplace_back(begin, cursor);
            ++cursor;
        }
        const size_t next = strings.empty() ? cursor + 2 : cursor + 1;

        for (const IdentifyingStrings& fields : kIdentifyingStrings) {
            if (fields.type != type) continue;
            for (uint8_t offset : fields.offsets) {
                if (offset == 0 || offset >= length) continue;
                const uint8_t number = raw[at + offset];
                if (number == 0 || number > strings.size()) continue;
                redactString(raw, strings[number - 1].first, strings[number - 1].second);
            }
        }
        if (type == 1 && length >= kSystemUuidOffset + kSystemUuidBytes) {
            for (size_t i = at + kSystemUuidOffset; i < at + kSystemUuidOffset + kSystemUuidBytes; ++i) {
                if (!kept[i]) raw[i] = 0;
            }
        }
        if (type == kEndOfTable) break;
        at = next;
    }
}

}  // namespace Corvane::capture
