#pragma once
// The corpus of machine profiles: every *.json under tests/fixtures/profiles,
// at any depth, so that a new folder of profiles is replayed without a change here.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace Corvane::testing {

inline std::filesystem::path corpusFolder() { return std::filesystem::path(CORVANE_FIXTURES_DIR) / "profiles"; }

inline std::vector<std::filesystem::path> corpusProfiles() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpusFolder())) {
        if (entry.is_regular_file() && entry.path().extension() == ".json") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// "hosts_wsl_plain" for hosts/wsl/plain.json: the path under the corpus, fit for a test name.
inline std::string corpusProfileName(const ::testing::TestParamInfo<std::filesystem::path>& info) {
    std::string name = std::filesystem::relative(info.param, corpusFolder()).replace_extension().generic_string();
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
}

}  // namespace Corvane::testing
