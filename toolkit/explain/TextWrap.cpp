#include "toolkit/explain/TextWrap.h"

namespace Corvane::explain {

std::string wrapText(std::string_view text, size_t indent) {
    // A continuation line must have room for at least one character.
    if (indent >= kTextColumns) indent = kTextColumns - 1;
    std::string out;
    size_t lineStart = 0;  // where the current line's text starts in `text`
    size_t lead = 0;       // the indentation written before it
    while (true) {
        const size_t room = kTextColumns - lead;
        if (text.size() - lineStart <= room) {
            out.append(text.substr(lineStart)).append("\n");
            return out;
        }
        // The last run of spaces that ends the line within its room, past the
        // line's own indentation; without one the word is cut at the edge.
        size_t firstWord = text.find_first_not_of(' ', lineStart);
        size_t cut = text.rfind(' ', lineStart + room);
        size_t next;
        if (cut != std::string_view::npos && cut > firstWord) {
            next = text.find_first_not_of(' ', cut);
            while (cut > lineStart && text[cut - 1] == ' ') --cut;
        } else {
            cut = lineStart + room;
            // Not inside a UTF-8 character: back off its continuation bytes.
            while (cut > lineStart + 1 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
            next = cut;
        }
        out.append(text.substr(lineStart, cut - lineStart)).append("\n");
        if (next == std::string_view::npos) return out;
        lineStart = next;
        lead = indent;
        out.append(indent, ' ');
    }
}

}  // namespace Corvane::explain
