// Redacting one text without changing what any check finds in it.

#include <cwctype>
#include <set>

#include "toolkit/capture/Redaction.h"
#include "vmdetection/SearchWords.h"

namespace Corvane::capture {
namespace {

// Which characters of `text` belong to a word some check looks for.
std::vector<bool> signMask(std::wstring_view text) {
    std::wstring lower(text);
    for (auto& c : lower) c = static_cast<wchar_t>(std::towlower(c));
    std::vector<bool> kept(text.size(), false);
    for (const std::wstring& word : signWords()) {
        for (size_t at = lower.find(word); at != std::wstring::npos; at = lower.find(word, at + 1)) {
            for (size_t i = at; i < at + word.size(); ++i) kept[i] = true;
        }
    }
    return kept;
}

wchar_t redactedCharacter(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c == L'0' ? L'0' : L'1';
    if (std::iswupper(c)) return L'X';
    if (std::iswlower(c)) return L'x';
    if (std::iswalpha(c)) return L'X';  // letters without case
    return c;
}

}  // namespace

const std::vector<std::wstring>& signWords() {
    // The detectors' own words, so no check can gain one that redaction does
    // not keep.  None is made of X, 0 and 1 alone, so redacted characters
    // never form one.
    static const std::vector<std::wstring> words = [] {
        std::set<std::wstring> lower;
        utils::vmdetection::forEachSearchWord([&lower](const utils::vmdetection::SearchWord& word) {
            std::wstring text(word.text);
            for (auto& c : text) c = static_cast<wchar_t>(std::towlower(c));
            lower.insert(std::move(text));
        });
        return std::vector<std::wstring>(lower.begin(), lower.end());
    }();
    return words;
}

std::wstring redactText(std::wstring_view text) {
    const std::vector<bool> kept = signMask(text);
    std::wstring redacted(text);
    for (size_t i = 0; i < redacted.size(); ++i) {
        if (!kept[i]) redacted[i] = redactedCharacter(redacted[i]);
    }
    return redacted;
}

std::wstring redactMacText(std::wstring_view text) {
    const std::vector<bool> kept = signMask(text);
    std::wstring redacted(text);
    // The hexadecimal digits after the third separator: the device's own half.
    int separators = 0;
    for (size_t i = 0; i < redacted.size(); ++i) {
        const wchar_t c = redacted[i];
        if (c == L':' || c == L'-') {
            ++separators;
        } else if (separators >= 3 && std::iswxdigit(c) && !kept[i]) {
            redacted[i] = L'0';
        }
    }
    return redacted;
}

}  // namespace Corvane::capture
