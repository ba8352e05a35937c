// Where the command line's profiles come from: standard input held to the
// size limit, a survey's lines, a folder's files in a stable order.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "cli/ProfileInput.h"
#include "cli/WindowsError.h"
#include "toolkit/profile/ProfileJson.h"

namespace Corvane::cli {
namespace {

// A temporary file holding `bytes`, read from its start; gone when closed.
std::FILE* inputOf(const std::string& bytes) {
    std::FILE* in = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), in);
    std::rewind(in);
    return in;
}

// The limit holds at the byte: refused on the read that passes it, not one later.
TEST(StandardInput, IsReadWholeUpToTheLimitAndRefusedPastIt) {
    for (const auto& [size, refused] : {std::pair{size_t{10}, false}, {size_t{11}, true}, {size_t{200000}, true}}) {
        std::FILE* in = inputOf(std::string(size, 'x'));
        try {
            EXPECT_EQ(readAllLimited(in, 10).size(), size);
            EXPECT_FALSE(refused) << size;
        } catch (const profile::ProfileError& error) {
            EXPECT_TRUE(refused) << size;
            EXPECT_NE(std::string(error.what()).find("standard input: too large"), std::string::npos) << error.what();
        }
        std::fclose(in);
    }
}

TEST(StandardInput, GivesEveryNonBlankLineWithItsNumber) {
    struct Row {
        std::string input;
        std::vector<std::pair<size_t, std::string>> lines;  // number, text; text "!" for too long
    };
    const Row rows[] = {
        {"", {}},
        {"a\n\n  \t\r\nb", {{1, "a"}, {4, "b"}}},  // blank lines skipped, a last line without newline kept
        {"a\r\nb\r\n", {{1, "a"}, {2, "b"}}},
        {"12345\n123456789\nxy\n", {{1, "12345"}, {2, "!"}, {3, "xy"}}},  // over the limit of 8: reported, skipped
        {std::string(70000, 'z') + "\nok", {{1, "!"}, {2, "ok"}}},
    };
    for (const Row& row : rows) {
        std::FILE* in = inputOf(row.input);
        ProfileLines lines(in, 8);
        std::vector<std::pair<size_t, std::string>> got;
        while (const auto line = lines.next()) got.emplace_back(line->number, line->tooLong ? "!" : line->text);
        EXPECT_EQ(got, row.lines) << row.input.substr(0, 40);
        std::fclose(in);
    }
}

TEST(ProfileFolder, ListsItsJsonFilesAtAnyDepthSortedByPath) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("corvane-folder-" + std::to_string(::GetCurrentProcessId()));
    fs::remove_all(folder);
    // Upper case sorts first, as in any byte-wise order; Windows lists folders in its own order.
    for (const char* name : {"z.json", "sub/m.json", "b.json", "a.txt", "a.json", "C.json"}) {
        fs::create_directories((folder / name).parent_path());
        std::ofstream(folder / name) << "{}";
    }
    std::vector<std::string> names;
    for (const fs::path& file : profilesInFolder(folder)) names.push_back(fs::relative(file, folder).generic_string());
    fs::remove_all(folder);
    EXPECT_EQ(names, (std::vector<std::string>{"C.json", "a.json", "b.json", "sub/m.json", "z.json"}));
    EXPECT_EQ(displayPath("C:/a/b\\c.json"), "C:\\a\\b\\c.json");
}

// The likely cause is the one of that very code.
TEST(WindowsError, GivesTheLikelyCauseThenTheSystemsTextOnOneLine) {
    const std::pair<DWORD, const char*> rows[] = {
        {ERROR_BAD_EXE_FORMAT, "not a 64-bit DLL (Windows error 193: "},
        {ERROR_MOD_NOT_FOUND, "the file, or a DLL it needs, is missing (Windows error 126"},
        {ERROR_PROC_NOT_FOUND, "Windows error 127"},
        {ERROR_PATH_NOT_FOUND, "no such drive or folder (Windows error 3"},
    };
    for (const auto& [code, start] : rows) {
        const std::string text = describeWindowsError(code);
        EXPECT_EQ(text.rfind(start, 0), 0u) << text;
        EXPECT_EQ(text.find_first_of("%\r\n"), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace Corvane::cli
