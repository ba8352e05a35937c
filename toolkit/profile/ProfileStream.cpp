#include "toolkit/profile/ProfileStream.h"

#include <cstdint>
#include <unordered_set>
#include <vector>

#include "toolkit/profile/ProfileJson.h"

namespace Corvane::profile {
namespace {

[[noreturn]] void refuse(const std::string& path, const std::string& what) {
    throw ProfileError("profile: " + (path.empty() ? std::string("/") : path) + ": " + what);
}

const char* kindOf(const Json& value) {
    switch (value.type()) {
        case Json::value_t::null: return "null";
        case Json::value_t::object: return "an object";
        case Json::value_t::array: return "an array";
        case Json::value_t::string: return "a string";
        case Json::value_t::boolean: return "true or false";
        default: return "a number";
    }
}

// The SAX handler (nlohmann::json_sax's member names).  Frames run from the
// top-level object down to the container being filled.
class Reader {
public:
    explicit Reader(ProfileFields& fields) : fields_(fields) {}

    bool null() { return place(Json(nullptr)); }
    bool boolean(bool value) { return place(Json(value)); }
    bool number_integer(int64_t value) { return place(Json(value)); }
    bool number_unsigned(uint64_t value) { return place(Json(value)); }
    bool number_float(double value, const std::string& text) {
        // nlohmann reads an integer beyond 64 bits as a double: name it for what it is.
        if (text.find_first_of(".eE") == std::string::npos) {
            countNext();
            refuse(path(), "an integer too large for any field (" + text.substr(0, 24) +
                               (text.size() > 24 ? "..." : "") + "; the largest is 18446744073709551615)");
        }
        return place(Json(value));
    }
    bool string(std::string& value) { return place(Json(std::move(value))); }
    bool binary(Json::binary_t&) { return false; }  // JSON text has none
    bool start_object(size_t) { return open(Json::object()); }
    bool start_array(size_t) { return open(Json::array()); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }

    bool key(std::string& name) {
        Frame& frame = frames_.back();
        if (frame.hasKey(name))
            refuse(path(frames_.size() - 1) + "/" + name, "given twice (a field appears once in an object)");
        frame.key = std::move(name);
        frame.keys.insert(frame.key);
        if (frame.kind == Frame::Document) frame.list = fields_.listField(frame.key);
        return true;
    }

    bool parse_error(size_t, const std::string&, const nlohmann::detail::exception& error) {
        std::string what = error.what();
        if (auto end = what.find("] "); what.rfind("[json.exception", 0) == 0 && end != std::string::npos) {
            what = what.substr(end + 2);
        }
        throw ProfileError("profile: malformed JSON: " + escapeBytes(what));
    }

private:
    struct Frame {
        enum Kind { Document, List, Tree };
        Frame(Kind kind, Json* tree, bool object) : kind(kind), tree(tree), object(object) {}

        Kind kind;
        Json* tree;  // Tree: the container being filled
        bool object;
        size_t count = 0;   // members or entries so far
        std::string key;    // an object's latest key
        bool list = false;  // Document: the latest key names a list field
        std::unordered_set<std::string> keys;

        bool hasKey(const std::string& name) const { return keys.count(name) != 0; }
    };

    // The JSON pointer of the value being placed, or of the container of the first `depth` frames.
    std::string path(size_t depth = SIZE_MAX) const {
        std::string out;
        for (size_t i = 0; i < frames_.size() && i < depth; ++i) {
            const Frame& frame = frames_[i];
            out += "/" + (frame.object ? frame.key : std::to_string(frame.count - 1));
        }
        return out;
    }

    void countNext() {
        if (frames_.empty()) return;
        Frame& parent = frames_.back();
        if (++parent.count > kMaxEntries) {
            refuse(path(), "more than " + std::to_string(kMaxEntries) + " entries in one " +
                               (parent.object ? "object" : "array") + " (no machine has that many)");
        }
        if (++values_ > kMaxValues) {
            refuse(path(), "more than " + std::to_string(kMaxValues) +
                               " values in one profile (a capture has about ten thousand)");
        }
    }

    // A scalar: straight to the reader, or into the tree being built.
    bool place(Json&& value) {
        if (frames_.empty()) refuse("", std::string("expected an object, got ") + kindOf(value));
        countNext();
        Frame& parent = frames_.back();
        switch (parent.kind) {
            case Frame::Document: fields_.value(parent.key, std::move(value)); break;
            case Frame::List: fields_.entry(frames_[0].key, parent.count - 1, std::move(value)); break;
            case Frame::Tree: insert(parent, std::move(value)); break;
        }
        return true;
    }

    Json& insert(Frame& parent, Json&& value) {
        if (parent.object) return (*parent.tree)[parent.key] = std::move(value);
        parent.tree->push_back(std::move(value));
        return parent.tree->back();
    }

    bool open(Json&& container) {
        const bool object = container.is_object();
        if (frames_.empty()) {
            if (!object) refuse("", "expected an object, got an array");
            frames_.emplace_back(Frame::Document, nullptr, true);
            return true;
        }
        countNext();
        if (frames_.size() >= kMaxProfileDepth) {
            refuse(path(),
                   "nested deeper than a machine profile goes (" + std::to_string(kMaxProfileDepth) + " levels)");
        }
        Frame& parent = frames_.back();
        Json* tree = nullptr;
        if (parent.kind == Frame::Document && parent.list && !object) {
            frames_.emplace_back(Frame::List, nullptr, false);
            return true;
        }
        if (parent.kind == Frame::Tree) {
            tree = &insert(parent, std::move(container));
        } else {
            element_ = std::move(container);
            tree = &element_;
        }
        frames_.emplace_back(Frame::Tree, tree, object);
        return true;
    }

    bool close() {
        const Frame::Kind kind = frames_.back().kind;
        frames_.pop_back();
        if (kind != Frame::Tree || frames_.empty()) return true;
        const Frame& parent = frames_.back();
        if (parent.kind == Frame::Document) fields_.value(parent.key, std::move(element_));
        if (parent.kind == Frame::List) fields_.entry(frames_[0].key, parent.count - 1, std::move(element_));
        return true;
    }

    ProfileFields& fields_;
    std::vector<Frame> frames_;
    Json element_;  // the field value or list entry being built
    size_t values_ = 0;
};

}  // namespace

void streamProfileFields(std::string_view json, ProfileFields& fields) {
    Reader reader(fields);
    Json::sax_parse(json.begin(), json.end(), &reader);
}

std::string escapeBytes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    auto escape = [&](unsigned char byte) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        out += "\\x";
        out.push_back(kDigits[byte >> 4]);
        out.push_back(kDigits[byte & 15]);
    };
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const size_t extra = byte < 0x80           ? 0
                             : (byte >> 5) == 0x6  ? 1
                             : (byte >> 4) == 0xE  ? 2
                             : (byte >> 3) == 0x1E ? 3
                                                   : 4;
        bool valid = extra < 4 && i + extra < text.size() && (byte >= 0x20 && byte != 0x7F);
        for (size_t k = 1; valid && k <= extra; ++k) valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (!valid) {
            escape(byte);
            ++i;
            continue;
        }
        out.append(text.substr(i, extra + 1));
        i += extra + 1;
    }
    return out;
}

}  // namespace Corvane::profile
