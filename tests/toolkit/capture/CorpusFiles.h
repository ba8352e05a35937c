#pragma once
// The corpus of machine profiles: every *.json under tests/fixtures/profiles.

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

// "virtualbox_win10_bios_guest_additions": folder and name, fit for a test name.
inline std::string corpusProfileName(const ::testing::TestParamInfo<std::filesystem::path>& info) {
    std::string name = info.param.parent_path().filename().string() + "_" + info.param.stem().string();
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
}

}  // namespace Corvane::testing
