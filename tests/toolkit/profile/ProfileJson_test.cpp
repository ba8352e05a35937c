// The profile format: what the corpus cannot show by being replayed.  A
// round trip keeps what no corpus profile holds, registry values become the
// bytes Windows returns, and a mistake is one line naming its field.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "toolkit/profile/ProfileBuilder.h"
#include "toolkit/profile/ProfileJson.h"
#include "toolkit/profile/ProfileStream.h"
#include "toolkit/profile/ProfileText.h"

namespace Corvane::profile {
namespace {

std::string withHeader(const std::string& body) {
    return R"({"format": "corvane-machine-profile", "version": 1)" + (body.empty() ? "" : ", " + body) + "}";
}

TEST(ProfileJson, RoundTripKeepsOddValuesFaultsAndLengths) {
    auto original = physicalMachineWithoutSigns();
    addRawValue(addRegistryKey(original, L"HKLM", L"SOFTWARE\\Odd"), L"Unterminated", 1, {0x41, 0x00, 0x42});
    original.firmware.acpiTables.push_back({0x01020304, {9, 9}});
    original.wmi.faults.nextByClass[L"Win32_Bus"] = static_cast<int32_t>(0x80041001);
    original.adapters[0].addressLength = 8;
    const std::string text = toJson(original);
    EXPECT_EQ(toJson(parseProfile(text)), text);
}

TEST(ProfileJson, RegistryValueFormsBecomeTheBytesWindowsReturns) {
    auto p = parseProfile(
        withHeader(R"("registry": [{"root": "HKLM", "path": "HARDWARE\\Description\\System", "values": [
        {"name": "SystemBiosDate", "data": "06/23/99"},
        {"name": "SystemBiosVersion", "type": "REG_MULTI_SZ", "data": ["VBOX - 1", "x"]},
        {"name": "Count", "data": 258},
        {"name": "Raw", "type": "REG_SZ", "data": {"hex": "41 00 42"}}]}])"));
    const auto& values = p.registry.at(0).values;
    const std::vector<std::pair<uint32_t, std::vector<uint8_t>>> expected = {
        {1, {'0', 0, '6', 0, '/', 0, '2', 0, '3', 0, '/', 0, '9', 0, '9', 0, 0, 0}},
        {7, {'V', 0, 'B', 0, 'O', 0, 'X', 0, ' ', 0, '-', 0, ' ', 0, '1', 0, 0, 0, 'x', 0, 0, 0, 0, 0}},
        {4, {2, 1, 0, 0}},
        {1, {0x41, 0x00, 0x42}},
    };
    ASSERT_EQ(values.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(values[i].type, expected[i].first) << i;
        EXPECT_EQ(values[i].data, expected[i].second) << i;
    }
}

std::string processes(size_t count) {
    std::string list = R"("processes": [)";
    for (size_t i = 0; i < count; ++i) list += R"({"exeName": "a"},)";
    list.back() = ']';
    return list;
}

// Each refusal is one line, its bytes printable, naming the field; what the
// streaming reader refuses (a key given twice, nesting, counts, numbers no
// field holds) is refused where it is met.
TEST(ProfileJson, AMistakeIsOneLineNamingItsField) {
    const std::pair<std::string, const char*> cases[] = {
        {R"("registry": [{"root": "HKLM", "path": "x", "values": [{"type": "REG_DWORD", "data": "text"}]}])",
         "profile: /registry/0/values/0/data: a string needs type REG_SZ"},
        {R"("registry": [{"root": "HKCR", "path": "x"}])", "profile: /registry/0/root:"},
        {R"("system": {"wow46": true})", "profile: /system/wow46: unknown field"},
        {R"("firmware": {"acpiTables": [{"id": "DSD", "data": {"hex": ""}}]})",
         "profile: /firmware/acpiTables/0/id: expected a 4-letter signature"},
        {R"("files": [{"path": "C:\\x", "kind": "error"}])", "profile: /files/0: kind \"error\" needs"},
        {R"("wmi": {"faults": {"connectServer": "NOT_A_CODE"}})", "profile: /wmi/faults/connectServer:"},
        {R"("format": "corvane-machine-profile")", "profile: /format: given twice"},
        {R"("system": {"wow64": true, "wow64": false})", "profile: /system/wow64: given twice"},
        {R"("bogus": 1, "version": 2)", "profile: /bogus: unknown field"},
        {R"("registry": [[[[[[[[[]]]]]]]]])",
         "profile: /registry/0/0/0/0/0/0/0: nested deeper than a machine profile goes"},
        {R"("wmi": {"classes": [{"name": "C", "rows": [{"P": {"vt": 8200, "value": ["a"]}}]}]})", nullptr},
        {R"("system": {"totalPhysicalMemory": -5})",
         "profile: /system/totalPhysicalMemory: expected a non-negative integer, got a negative"},
        {R"("system": {"totalPhysicalMemory": 18446744073709551616})",
         "profile: /system/totalPhysicalMemory: an integer too large"},
        {R"("system": {"totalPhysicalMemory": 1.5})",
         "profile: /system/totalPhysicalMemory: expected a non-negative integer, got a fractional number"},
        {"\"description\": \"\xFF\xFE\"", "profile: malformed JSON: "},
        {processes(kMaxEntries), nullptr},
        {processes(kMaxEntries + 1), "profile: /processes/65536: more than 65536 entries in one array"},
    };
    for (const auto& [body, message] : cases) {
        try {
            parseProfile(withHeader(body));
            EXPECT_EQ(message, nullptr) << "accepted: " << body.substr(0, 80);
        } catch (const ProfileError& error) {
            ASSERT_NE(message, nullptr) << error.what();
            EXPECT_THAT(error.what(), ::testing::StartsWith(message));
            EXPECT_EQ(escapeBytes(error.what()), error.what()) << "a byte no console shows";
        }
    }
}

// What Windows tools save a profile as (PowerShell 5.1's `>` writes UTF-16 LE
// with a mark) is read; bytes that are not text are refused before parsing.
// UTF-16 without a mark, NUL bytes in UTF-8 and the tool's other JSON outputs
// are refused through `replay` (tests/toolkit/capture/malformed).
TEST(ProfileJson, ReadsEveryEncodingWithAMarkAndRefusesWhatIsNotText) {
    // The emoji twice: as a JSON escape, and as itself (a surrogate pair in UTF-16).
    const std::string text = withHeader(R"("description": "\u00c5sa's PC \ud83d\ude00 )"
                                        "\xF0\x9F\x98\x80\"");
    auto utf16 = [&](bool bigEndian) {
        std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (wchar_t unit : fromUtf8(text)) {
            const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
            bytes += bigEndian ? std::string{high, low} : std::string{low, high};
        }
        return bytes;
    };
    const std::pair<std::string, const char*> cases[] = {
        {text, nullptr},
        {"\xEF\xBB\xBF" + text, nullptr},
        {utf16(false), nullptr},
        {utf16(true), nullptr},
        {std::string("\xFF\xFE{\0\0\0", 6), "profile: in: not a text file: a NUL byte at offset 4 "},
        {utf16(true) + "x", "profile: in: not a text file: UTF-16 with an odd number of bytes"},
    };
    for (const auto& [bytes, refusal] : cases) {
        try {
            const MachineProfile machine = readProfileBytes(bytes, "in", {});
            EXPECT_EQ(refusal, nullptr) << "accepted " << bytes.size() << " bytes";
            EXPECT_EQ(machine.description, "\xC3\x85sa's PC \xF0\x9F\x98\x80 \xF0\x9F\x98\x80");
        } catch (const ProfileError& error) {
            ASSERT_NE(refusal, nullptr) << error.what();
            EXPECT_THAT(error.what(), ::testing::StartsWith(refusal));
        }
    }
}

// The size is checked before a byte is read: one byte over the limit is
// refused as too large, a file at the limit is read (and is no text).
TEST(ProfileJson, AFileOverTheSizeLimitIsRefusedUnread) {
    const auto file = std::filesystem::temp_directory_path() / "corvane-size-limit.json";
    constexpr uint64_t k64MiB = 64ull << 20;
    for (const auto& [size, refusal] : {std::pair{k64MiB, "not a text file"}, {k64MiB + 1, "too large"}}) {
        std::ofstream{file};
        std::filesystem::resize_file(file, size);
        EXPECT_THAT([&] { loadProfileFile(file); },
                    ::testing::ThrowsMessage<ProfileError>(::testing::HasSubstr(refusal)))
            << size;
    }
    std::filesystem::remove(file);
}

}  // namespace
}  // namespace Corvane::profile
