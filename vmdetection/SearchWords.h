#pragma once
// The texts the checks look for, as data: the words they search values for
// and the names of the keys, files, devices and processes they look up.  Each detector keeps its tables next
// to the checks that read them and lists them once more through its
// `...SearchWords` function below, reading the very same tables; a tool that
// must leave every sign as it was (`capture --redact`) walks these words, so
// it never holds a copy of its own that could drift from the checks.

#include <functional>
#include <span>
#include <string_view>

#include "vmdetection/CommonChecks.h"

namespace Corvane::utils::vmdetection {

// How the check compares the word with what it reads.
enum class WordMatch {
    Text,   // in a text Windows hands over (registry, WMI, names, paths), in some case
    Bytes,  // byte for byte inside a raw firmware table
};

struct SearchWord {
    std::string_view check;  // "VirtualBoxDetection.checkRegistryValues"
    std::wstring_view text;  // valid for the visit only
    WordMatch match;
};

using SearchWordVisitor = std::function<void(const SearchWord&)>;

// Every word of every check: the general detector's, then the product
// detectors' in the manager's order.
void forEachSearchWord(const SearchWordVisitor& visit);

// One detector's words, defined next to its tables.
void generalSearchWords(const SearchWordVisitor& visit);
void virtualBoxSearchWords(const SearchWordVisitor& visit);
void virtualBoxFirmwareAndWmiSearchWords(const SearchWordVisitor& visit);
void vmwareSearchWords(const SearchWordVisitor& visit);
void parallelsSearchWords(const SearchWordVisitor& visit);
void qemuSearchWords(const SearchWordVisitor& visit);
void virtualPCSearchWords(const SearchWordVisitor& visit);
void wineSearchWords(const SearchWordVisitor& visit);
void xenSearchWords(const SearchWordVisitor& visit);

// Visits a table of one check.
void visitWords(const SearchWordVisitor& visit, std::string_view check, std::span<const wchar_t* const> words);
void visitWords(const SearchWordVisitor& visit, std::string_view check, std::span<const std::wstring_view> words);
void visitWords(const SearchWordVisitor& visit, std::string_view check, std::span<const RegistryValueProbe> probes);
void visitWords(const SearchWordVisitor& visit, std::string_view check, std::span<const BytePattern> patterns);

}  // namespace Corvane::utils::vmdetection
