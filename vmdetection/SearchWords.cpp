#include "vmdetection/SearchWords.h"

#include <string>

namespace Corvane::utils::vmdetection {

void forEachSearchWord(const SearchWordVisitor& visit) {
    generalSearchWords(visit);
    virtualBoxSearchWords(visit);
    virtualBoxFirmwareAndWmiSearchWords(visit);
    vmwareSearchWords(visit);
    parallelsSearchWords(visit);
    qemuSearchWords(visit);
    virtualPCSearchWords(visit);
    wineSearchWords(visit);
    xenSearchWords(visit);
}

void visitWords(const SearchWordVisitor& visit, std::string_view check, std::span<const wchar_t* const> words) {
    for (const wchar_t* word : words) visit({check, word, WordMatch::Text});
}

void visitWords(const SearchWordVisitor& visit, std::string_view check, std::span<const std::wstring_view> words) {
    for (std::wstring_view word : words) visit({check, word, WordMatch::Text});
}

void visitWords(const SearchWordVisitor& visit, std::string_view check, std::span<const RegistryValueProbe> probes) {
    // A key redacted out of its path would be looked for in vain as surely as
    // a text redacted out of its value; the value's name is never redacted.
    for (const RegistryValueProbe& probe : probes) {
        visit({check, probe.key, WordMatch::Text});
        visit({check, probe.text, WordMatch::Text});
    }
}

void visitWords(const SearchWordVisitor& visit, std::string_view check, std::span<const BytePattern> patterns) {
    for (const BytePattern& pattern : patterns) {
        const std::string_view bytes(pattern.text, pattern.size());
        const std::wstring text(bytes.begin(), bytes.end());  // the patterns are ASCII
        visit({check, text, WordMatch::Bytes});
    }
}

}  // namespace Corvane::utils::vmdetection
