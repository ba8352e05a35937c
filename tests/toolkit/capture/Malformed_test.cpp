// Profiles that cannot be replayed: each is refused with one line that names
// what is wrong, never with a crash.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "toolkit/profile/ProfileJson.h"

namespace Corvane::capture {
namespace {

struct MalformedCase {
    const char* file;
    const char* message;  // a regular expression the one line must match
};

class MalformedProfile : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedProfile, IsRefusedWithOneLineNamingTheField) {
    const auto path = std::filesystem::path(CORVANE_CAPTURE_MALFORMED_DIR) / GetParam().file;
    try {
        profile::loadProfileFile(path);
        FAIL() << GetParam().file << " was accepted";
    } catch (const profile::ProfileError& error) {
        const std::string message = error.what();
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
        EXPECT_TRUE(std::regex_search(message, std::regex(GetParam().message))) << message;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, MalformedProfile,
    ::testing::Values(MalformedCase{"truncated.json", "truncated\\.json: .*JSON"},
                      MalformedCase{"version-99.json", "/version: .*99"},
                      MalformedCase{"string-for-number.json", "/system/totalPhysicalMemory: "},
                      MalformedCase{"bad-mac.json", "/adapters/0/address: .*MAC"},
                      MalformedCase{"wrong-type.json", "/processes: "}),
    [](const ::testing::TestParamInfo<MalformedCase>& info) {
        std::string name = std::filesystem::path(info.param.file).stem().string();
        for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

}  // namespace
}  // namespace Corvane::capture
