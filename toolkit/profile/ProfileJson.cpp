#include "toolkit/profile/ProfileJson.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include <nlohmann/json.hpp>

#include "toolkit/profile/ProfileEncoding.h"
#include "toolkit/profile/ProfileStream.h"
#include "toolkit/profile/ProfileText.h"

namespace Corvane::profile {
namespace {

// Registry value types (the values of winnt.h; this code does not need Windows headers).
constexpr uint32_t kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4, kRegDwordBigEndian = 5, kRegLink = 6,
                   kRegMultiSz = 7, kRegQword = 11;

[[noreturn]] void fail(const std::string& path, const std::string& what) {
    throw ProfileError("profile: " + (path.empty() ? std::string("/") : path) + ": " + what);
}

std::string describe(const Json& j) {
    switch (j.type()) {
        case Json::value_t::null: return "null";
        case Json::value_t::object: return "an object";
        case Json::value_t::array: return "an array";
        case Json::value_t::string: return "a string";
        case Json::value_t::boolean: return "true or false";
        case Json::value_t::number_float: return "a fractional number";
        case Json::value_t::number_integer: return j.get<int64_t>() < 0 ? "a negative integer" : "an integer";
        case Json::value_t::number_unsigned: return "an integer";
        default: return "something else";
    }
}

// ---------------------------------------------------------------------------
// Small tables of names the JSON form accepts instead of numbers.

struct NamedCode {
    const char* name;
    uint32_t code;
};

constexpr std::array kRegistryTypes = {
    NamedCode{"REG_NONE", 0},
    NamedCode{"REG_SZ", 1},
    NamedCode{"REG_EXPAND_SZ", 2},
    NamedCode{"REG_BINARY", 3},
    NamedCode{"REG_DWORD", 4},
    NamedCode{"REG_DWORD_BIG_ENDIAN", 5},
    NamedCode{"REG_LINK", 6},
    NamedCode{"REG_MULTI_SZ", 7},
    NamedCode{"REG_RESOURCE_LIST", 8},
    NamedCode{"REG_FULL_RESOURCE_DESCRIPTOR", 9},
    NamedCode{"REG_RESOURCE_REQUIREMENTS_LIST", 10},
    NamedCode{"REG_QWORD", 11},
};

// HRESULTs a profile's faults typically name.
constexpr std::array kHresults = {
    NamedCode{"S_OK", 0x00000000},
    NamedCode{"S_FALSE", 0x00000001},
    NamedCode{"E_FAIL", 0x80004005},
    NamedCode{"E_NOTIMPL", 0x80004001},
    NamedCode{"E_OUTOFMEMORY", 0x8007000E},
    NamedCode{"E_ACCESSDENIED", 0x80070005},
    NamedCode{"E_INVALIDARG", 0x80070057},
    NamedCode{"RPC_E_CHANGED_MODE", 0x80010106},
    NamedCode{"RPC_E_TOO_LATE", 0x80010119},
    NamedCode{"REGDB_E_CLASSNOTREG", 0x80040154},
    NamedCode{"CO_E_NOTINITIALIZED", 0x800401F0},
    NamedCode{"WBEM_E_FAILED", 0x80041001},
    NamedCode{"WBEM_E_NOT_FOUND", 0x80041002},
    NamedCode{"WBEM_E_ACCESS_DENIED", 0x80041003},
    NamedCode{"WBEM_E_INVALID_NAMESPACE", 0x8004100E},
    NamedCode{"WBEM_E_INVALID_CLASS", 0x80041010},
    NamedCode{"WBEM_E_INVALID_QUERY", 0x80041017},
    NamedCode{"WBEM_E_TIMED_OUT", 0x80043001},
};

template <size_t N>
std::string namesOf(const std::array<NamedCode, N>& table) {
    std::string out;
    for (const auto& entry : table) out += (out.empty() ? "" : ", ") + std::string(entry.name);
    return out;
}

std::string hex32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

// ---------------------------------------------------------------------------
// Byte payloads: {"hex": "..."}, {"base64": "..."}, {"file": "..."}.

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string toBase64(const std::vector<uint8_t>& bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t chunk = bytes[i] << 16;
        if (i + 1 < bytes.size()) chunk |= bytes[i + 1] << 8;
        if (i + 2 < bytes.size()) chunk |= bytes[i + 2];
        out.push_back(kBase64[(chunk >> 18) & 63]);
        out.push_back(kBase64[(chunk >> 12) & 63]);
        out.push_back(i + 1 < bytes.size() ? kBase64[(chunk >> 6) & 63] : '=');
        out.push_back(i + 2 < bytes.size() ? kBase64[chunk & 63] : '=');
    }
    return out;
}

std::optional<std::vector<uint8_t>> fromBase64(std::string_view text) {
    std::vector<uint8_t> out;
    uint32_t chunk = 0;
    int bits = 0;
    size_t padding = 0;
    for (char c : text) {
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        if (padding) return std::nullopt;  // data after padding
        const char* at = std::strchr(kBase64, c);
        if (!at || c == '\0') return std::nullopt;
        chunk = (chunk << 6) | static_cast<uint32_t>(at - kBase64);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<uint8_t>((chunk >> bits) & 0xFF));
        }
    }
    if (padding > 2) return std::nullopt;
    return out;
}

std::string toHex(const std::vector<uint8_t>& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 15]);
    }
    return out;
}

std::optional<std::vector<uint8_t>> fromHex(std::string_view text) {
    std::vector<uint8_t> out;
    int pending = -1;
    for (char c : text) {
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
        int digit = (c >= '0' && c <= '9')   ? c - '0'
                    : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                    : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                             : -1;
        if (digit < 0) return std::nullopt;
        if (pending < 0) {
            pending = digit;
        } else {
            out.push_back(static_cast<uint8_t>(pending * 16 + digit));
            pending = -1;
        }
    }
    if (pending >= 0) return std::nullopt;
    return out;
}

// ---------------------------------------------------------------------------
// Reading: a JSON node with the pointer path that error messages name.

class Node {
public:
    Node(const Json& json, std::string path) : json_(&json), path_(std::move(path)) {}

    const Json& json() const { return *json_; }
    const std::string& path() const { return path_; }
    bool isNull() const { return json_->is_null(); }

    [[noreturn]] void fail(const std::string& what) const { Corvane::profile::fail(path_, what); }
    [[noreturn]] void expected(const std::string& what) const {
        fail("expected " + what + ", got " + describe(*json_));
    }

    // An object whose keys are all in `allowed`.
    void object(std::initializer_list<std::string_view> allowed) const {
        if (!json_->is_object()) expected("an object");
        for (const auto& [key, value] : json_->items()) {
            if (std::find(allowed.begin(), allowed.end(), key) == allowed.end()) {
                std::string known;
                for (auto name : allowed) known += (known.empty() ? "" : ", ") + std::string(name);
                Corvane::profile::fail(path_ + "/" + key, "unknown field (known here: " + known + ")");
            }
        }
    }

    std::optional<Node> field(const char* key) const {
        auto it = json_->find(key);
        if (it == json_->end()) return std::nullopt;
        return Node(*it, path_ + "/" + key);
    }

    Node required(const char* key) const {
        auto node = field(key);
        if (!node) Corvane::profile::fail(path_ + "/" + key, "missing required field");
        return *node;
    }

    std::vector<Node> array() const {
        if (!json_->is_array()) expected("an array");
        std::vector<Node> out;
        for (size_t i = 0; i < json_->size(); ++i) out.emplace_back((*json_)[i], path_ + "/" + std::to_string(i));
        return out;
    }

    std::string text() const {
        if (!json_->is_string()) expected("a string");
        return json_->get<std::string>();
    }
    std::wstring wideText() const { return fromUtf8(text()); }

    bool boolean() const {
        if (!json_->is_boolean()) expected("true or false");
        return json_->get<bool>();
    }

    int64_t integer(int64_t min, int64_t max) const {
        if (json_->is_number_unsigned()) {
            auto value = json_->get<uint64_t>();
            if (value > static_cast<uint64_t>(max))
                fail("out of range (" + std::to_string(min) + " to " + std::to_string(max) + ")");
            return static_cast<int64_t>(value);
        }
        if (!json_->is_number_integer()) expected("an integer");
        auto value = json_->get<int64_t>();
        if (value < min || value > max)
            fail("out of range (" + std::to_string(min) + " to " + std::to_string(max) + ")");
        return value;
    }

    uint64_t unsigned64() const {
        if (json_->is_number_unsigned()) return json_->get<uint64_t>();
        if (json_->is_number_integer() && json_->get<int64_t>() >= 0)
            return static_cast<uint64_t>(json_->get<int64_t>());
        expected("a non-negative integer");
    }

    // A 32-bit code: a number (negative HRESULTs allowed) or "0x..." text.
    uint32_t code() const {
        if (json_->is_string()) {
            auto text = json_->get<std::string>();
            if (text.size() > 2 && text.size() <= 10 && (text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0) &&
                text.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos) {
                return static_cast<uint32_t>(std::stoul(text.substr(2), nullptr, 16));
            }
            expected("a number or hexadecimal text such as \"0x80041010\"");
        }
        return static_cast<uint32_t>(
            integer(std::numeric_limits<int32_t>::min(), std::numeric_limits<uint32_t>::max()));
    }

    // An HRESULT: a number, "0x..." text or a name such as "RPC_E_CHANGED_MODE".
    int32_t hresult() const {
        if (json_->is_string()) {
            auto text = json_->get<std::string>();
            for (const auto& entry : kHresults)
                if (text == entry.name) return static_cast<int32_t>(entry.code);
            if (text.rfind("0x", 0) != 0 && text.rfind("0X", 0) != 0)
                fail("expected an HRESULT number, \"0x...\" text or one of " + namesOf(kHresults));
        }
        return static_cast<int32_t>(code());
    }

    std::vector<uint8_t> bytes(const std::filesystem::path& baseDir) const {
        object({"hex", "base64", "file"});
        if (json_->size() != 1) fail("expected exactly one of \"hex\", \"base64\" or \"file\"");
        if (auto hex = field("hex")) {
            auto decoded = fromHex(hex->text());
            if (!decoded) hex->fail("not an even number of hexadecimal digits");
            return *decoded;
        }
        if (auto base64 = field("base64")) {
            auto decoded = fromBase64(base64->text());
            if (!decoded) base64->fail("not valid base64");
            return *decoded;
        }
        auto file = required("file");
        // A relative path is read from the profile's folder, so that a profile
        // and its firmware files move together.
        std::filesystem::path relative(fromUtf8(file.text()));
        auto full = (relative.is_absolute() ? relative : baseDir / relative).lexically_normal().make_preferred();
        std::ifstream in(full, std::ios::binary);
        if (!in) {
            std::error_code error;
            file.fail((std::filesystem::exists(full, error) ? "cannot read '" : "no such file '") +
                      toUtf8(full.wstring()) +
                      (relative.is_absolute() ? "'" : "' (a relative path is read from the profile's folder)"));
        }
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    const Json* json_;
    std::string path_;
};

template <typename T>
void readIf(const Node& parent, const char* key, T& target, T (Node::*reader)() const) {
    if (auto node = parent.field(key)) target = ((*node).*reader)();
}

// ---------------------------------------------------------------------------
// Registry values: the pleasant forms and back.

std::vector<uint8_t> encodeWide(const std::wstring& text) {
    std::vector<uint8_t> out;
    for (wchar_t c : text) {
        out.push_back(static_cast<uint8_t>(c & 0xFF));
        out.push_back(static_cast<uint8_t>((c >> 8) & 0xFF));
    }
    return out;
}

std::vector<uint8_t> encodeString(const std::wstring& text) {
    auto out = encodeWide(text);
    out.push_back(0);
    out.push_back(0);
    return out;
}

std::vector<uint8_t> encodeMultiString(const std::vector<std::wstring>& strings) {
    std::vector<uint8_t> out;
    for (const auto& s : strings) {
        auto one = encodeString(s);
        out.insert(out.end(), one.begin(), one.end());
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

std::vector<std::wstring> decodeWideList(const std::vector<uint8_t>& data) {
    std::vector<std::wstring> out(1);
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        wchar_t c = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
        if (c == 0)
            out.emplace_back();
        else
            out.back().push_back(c);
    }
    return out;
}

std::vector<uint8_t> littleEndian(uint64_t value, size_t size) {
    std::vector<uint8_t> out(size);
    for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
    return out;
}

bool isStringType(uint32_t type) { return type == kRegSz || type == kRegExpandSz || type == kRegLink; }

std::vector<uint8_t> readRegistryData(const Node& node, uint32_t type, const std::filesystem::path& baseDir) {
    const auto& j = node.json();
    if (j.is_string()) {
        if (!isStringType(type))
            node.fail("a string needs type REG_SZ or REG_EXPAND_SZ (use {\"hex\": \"...\"} for other types)");
        return encodeString(node.wideText());
    }
    if (j.is_array()) {
        if (type != kRegMultiSz) node.fail("an array of strings needs type REG_MULTI_SZ");
        std::vector<std::wstring> strings;
        for (const auto& item : node.array()) {
            strings.push_back(item.wideText());
            if (strings.back().empty()) item.fail("REG_MULTI_SZ cannot hold an empty string (use {\"hex\": \"...\"})");
        }
        return encodeMultiString(strings);
    }
    if (j.is_number()) {
        switch (type) {
            case kRegDword: return littleEndian(static_cast<uint64_t>(node.integer(0, 0xFFFFFFFFll)), 4);
            case kRegQword: return littleEndian(node.unsigned64(), 8);
            case kRegDwordBigEndian: {
                auto bytes = littleEndian(static_cast<uint64_t>(node.integer(0, 0xFFFFFFFFll)), 4);
                std::reverse(bytes.begin(), bytes.end());
                return bytes;
            }
            default: node.fail("a number needs type REG_DWORD, REG_DWORD_BIG_ENDIAN or REG_QWORD");
        }
    }
    if (j.is_object()) return node.bytes(baseDir);
    node.expected("a string, an array of strings, a number or {\"hex\": \"...\"}");
}

uint32_t inferRegistryType(const Json& data) {
    if (data.is_string()) return kRegSz;
    if (data.is_array()) return kRegMultiSz;
    if (data.is_number()) return kRegDword;
    return kRegBinary;
}

Json writeRegistryData(const RegistryValue& value) {
    const auto& data = value.data;
    if (isStringType(value.type) && data.size() >= 2 && data.size() % 2 == 0) {
        auto parts = decodeWideList(data);
        if (parts.size() == 2 && parts[1].empty() && encodeString(parts[0]) == data) return toUtf8(parts[0]);
    }
    if (value.type == kRegMultiSz && data.size() >= 2 && data.size() % 2 == 0) {
        auto parts = decodeWideList(data);
        std::vector<std::wstring> strings;
        for (const auto& p : parts)
            if (!p.empty()) strings.push_back(p);
        if (encodeMultiString(strings) == data) {
            Json array = Json::array();
            for (const auto& s : strings) array.push_back(toUtf8(s));
            return array;
        }
    }
    if ((value.type == kRegDword || value.type == kRegDwordBigEndian) && data.size() == 4) {
        uint32_t number = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<uint32_t>(data[3]) << 24);
        if (value.type == kRegDwordBigEndian)
            number = data[3] | (data[2] << 8) | (data[1] << 16) | (static_cast<uint32_t>(data[0]) << 24);
        return number;
    }
    if (value.type == kRegQword && data.size() == 8) {
        uint64_t number = 0;
        for (size_t i = 0; i < 8; ++i) number |= static_cast<uint64_t>(data[i]) << (8 * i);
        return number;
    }
    return Json{{"hex", toHex(data)}};
}

// ---------------------------------------------------------------------------
// WMI values.

constexpr uint16_t kVtNull = 1, kVtI4 = 3, kVtBstr = 8, kVtBool = 11, kVtArrayOfBstr = 0x2008;

WmiValue readWmiValue(const Node& node) {
    const auto& j = node.json();
    WmiValue value;
    if (j.is_null()) {
        value.vt = kVtNull;
    } else if (j.is_string()) {
        value.vt = kVtBstr;
        value.text = node.wideText();
    } else if (j.is_boolean()) {
        value.vt = kVtBool;
        value.integer = j.get<bool>() ? -1 : 0;
    } else if (j.is_number_integer()) {
        value.vt = kVtI4;
        value.integer = node.integer(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
    } else if (j.is_array()) {
        value.vt = kVtArrayOfBstr;
        for (const auto& item : node.array()) value.strings.push_back(item.wideText());
    } else if (j.is_object()) {
        node.object({"vt", "value"});
        value.vt = static_cast<uint16_t>(node.required("vt").integer(0, 0xFFFF));
        if (auto payload = node.field("value")) {
            const auto& p = payload->json();
            if (p.is_string())
                value.text = payload->wideText();
            else if (p.is_boolean())
                value.integer = p.get<bool>() ? -1 : 0;
            else if (p.is_number_integer())
                value.integer = payload->integer(std::numeric_limits<int64_t>::min(),
                                                 std::numeric_limits<int64_t>::max());
            else if (p.is_array())
                for (const auto& item : payload->array()) value.strings.push_back(item.wideText());
            else if (!p.is_null())
                payload->expected("a string, an integer, true or false, an array of strings or null");
        }
    } else {
        node.expected("a string, an integer, true or false, null, an array of strings or {\"vt\": N, \"value\": ...}");
    }
    return value;
}

Json writeWmiValue(const WmiValue& value) {
    switch (value.vt) {
        case kVtNull: return nullptr;
        case kVtBstr: return toUtf8(value.text);
        case kVtBool: return value.integer != 0;
        case kVtI4:
            if (value.integer >= std::numeric_limits<int32_t>::min() &&
                value.integer <= std::numeric_limits<int32_t>::max())
                return value.integer;
            break;
        case kVtArrayOfBstr: {
            Json array = Json::array();
            for (const auto& s : value.strings) array.push_back(toUtf8(s));
            return array;
        }
        default: break;
    }
    Json out = {{"vt", value.vt}};
    if (!value.strings.empty()) {
        Json array = Json::array();
        for (const auto& s : value.strings) array.push_back(toUtf8(s));
        out["value"] = array;
    } else if (!value.text.empty()) {
        out["value"] = toUtf8(value.text);
    } else if (value.vt != 0) {
        out["value"] = value.integer;
    }
    return out;
}

// ---------------------------------------------------------------------------
// Sections.

void readSystem(const Node& node, SystemFacts& system) {
    node.object({"windowsDirectory", "programFiles", "programW6432", "wow64", "isWow64ProcessPresent",
                 "isWow64ProcessFails", "totalPhysicalMemory", "power", "kernel32Exports", "adaptersInfoError",
                 "setupDiError", "toolhelpFails"});
    readIf(node, "windowsDirectory", system.windowsDirectory, &Node::wideText);
    readIf(node, "programFiles", system.programFiles, &Node::wideText);
    readIf(node, "programW6432", system.programW6432, &Node::wideText);
    readIf(node, "wow64", system.wow64, &Node::boolean);
    readIf(node, "isWow64ProcessPresent", system.isWow64ProcessPresent, &Node::boolean);
    readIf(node, "isWow64ProcessFails", system.isWow64ProcessFails, &Node::boolean);
    readIf(node, "toolhelpFails", system.toolhelpFails, &Node::boolean);
    if (auto memory = node.field("totalPhysicalMemory")) {
        if (memory->isNull())
            system.totalPhysicalMemory.reset();
        else
            system.totalPhysicalMemory = memory->unsigned64();
    }
    if (auto power = node.field("power")) {
        power->object({"callSucceeds", "systemS1", "systemS2", "systemS3", "systemS4", "thermalControl"});
        auto& p = system.power;
        readIf(*power, "callSucceeds", p.callSucceeds, &Node::boolean);
        readIf(*power, "systemS1", p.systemS1, &Node::boolean);
        readIf(*power, "systemS2", p.systemS2, &Node::boolean);
        readIf(*power, "systemS3", p.systemS3, &Node::boolean);
        readIf(*power, "systemS4", p.systemS4, &Node::boolean);
        readIf(*power, "thermalControl", p.thermalControl, &Node::boolean);
    }
    if (auto exports = node.field("kernel32Exports"))
        for (const auto& item : exports->array()) system.kernel32Exports.push_back(item.text());
    for (auto [key, target] :
         {std::pair{"adaptersInfoError", &system.adaptersInfoError}, std::pair{"setupDiError", &system.setupDiError}}) {
        if (auto code = node.field(key)) {
            if (code->isNull())
                target->reset();
            else
                *target = code->code();
        }
    }
}

Json writeSystem(const SystemFacts& s) {
    Json power = {{"callSucceeds", s.power.callSucceeds}, {"systemS1", s.power.systemS1},
                  {"systemS2", s.power.systemS2},         {"systemS3", s.power.systemS3},
                  {"systemS4", s.power.systemS4},         {"thermalControl", s.power.thermalControl}};
    Json out = {{"windowsDirectory", toUtf8(s.windowsDirectory)},
                {"programFiles", toUtf8(s.programFiles)},
                {"programW6432", toUtf8(s.programW6432)},
                {"wow64", s.wow64},
                {"isWow64ProcessPresent", s.isWow64ProcessPresent},
                {"isWow64ProcessFails", s.isWow64ProcessFails},
                {"totalPhysicalMemory", s.totalPhysicalMemory ? Json(*s.totalPhysicalMemory) : Json(nullptr)},
                {"power", power},
                {"kernel32Exports", s.kernel32Exports},
                {"toolhelpFails", s.toolhelpFails}};
    if (s.adaptersInfoError) out["adaptersInfoError"] = *s.adaptersInfoError;
    if (s.setupDiError) out["setupDiError"] = *s.setupDiError;
    return out;
}

RegistryKey readRegistryKey(const Node& node, const std::filesystem::path& baseDir) {
    node.object({"root", "path", "accessDenied", "values"});
    RegistryKey key;
    key.root = node.required("root").wideText();
    if (!equalsIgnoreCase(key.root, L"HKLM") && !equalsIgnoreCase(key.root, L"HKCU"))
        node.required("root").fail("expected \"HKLM\" or \"HKCU\"");
    key.root = equalsIgnoreCase(key.root, L"HKLM") ? L"HKLM" : L"HKCU";
    key.path = node.required("path").wideText();
    readIf(node, "accessDenied", key.accessDenied, &Node::boolean);
    if (auto values = node.field("values")) {
        for (const auto& item : values->array()) {
            item.object({"name", "type", "data"});
            RegistryValue value;
            readIf(item, "name", value.name, &Node::wideText);
            auto data = item.required("data");
            value.type = inferRegistryType(data.json());
            if (auto type = item.field("type")) {
                if (type->json().is_string()) {
                    auto parsed = registryTypeFromName(type->text());
                    if (!parsed) type->fail("expected one of " + namesOf(kRegistryTypes) + " or a number");
                    value.type = *parsed;
                } else {
                    value.type = static_cast<uint32_t>(type->integer(0, 0xFFFFFFFFll));
                }
            }
            value.data = readRegistryData(data, value.type, baseDir);
            key.values.push_back(std::move(value));
        }
    }
    return key;
}

Json writeRegistryKey(const RegistryKey& key) {
    Json out = {{"root", toUtf8(key.root)}, {"path", toUtf8(key.path)}};
    if (key.accessDenied) out["accessDenied"] = true;
    Json values = Json::array();
    for (const auto& value : key.values)
        values.push_back(
            {{"name", toUtf8(value.name)}, {"type", registryTypeName(value.type)}, {"data", writeRegistryData(value)}});
    out["values"] = values;
    return out;
}

FileSystemEntry readFile(const Node& node) {
    node.object({"path", "kind", "error", "target"});
    FileSystemEntry entry;
    entry.path = node.required("path").wideText();
    if (auto kind = node.field("kind")) {
        auto text = kind->text();
        if (text == "file")
            entry.kind = PathKind::File;
        else if (text == "directory")
            entry.kind = PathKind::Directory;
        else if (text == "error")
            entry.kind = PathKind::Error;
        else if (text == "link")
            entry.kind = PathKind::Link;
        else
            kind->fail("expected one of file, directory, error, link");
    }
    if (auto error = node.field("error")) entry.error = error->code();
    if (auto target = node.field("target")) entry.target = target->wideText();
    if (entry.kind == PathKind::Link && entry.target.empty()) node.fail("kind \"link\" needs a \"target\" path");
    if (entry.kind == PathKind::Error && entry.error == 0)
        node.fail("kind \"error\" needs a non-zero \"error\" (e.g. 5 for access denied)");
    return entry;
}

Json writeFile(const FileSystemEntry& entry) {
    static constexpr const char* kKinds[] = {"file", "directory", "error", "link"};
    Json out = {{"path", toUtf8(entry.path)}, {"kind", kKinds[static_cast<int>(entry.kind)]}};
    if (entry.error) out["error"] = entry.error;
    if (entry.kind == PathKind::Link) out["target"] = toUtf8(entry.target);
    return out;
}

NetworkAdapter readAdapter(const Node& node) {
    node.object({"description", "address", "addressLength", "adapterName"});
    NetworkAdapter adapter;
    readIf(node, "description", adapter.description, &Node::text);
    readIf(node, "adapterName", adapter.adapterName, &Node::text);
    if (auto address = node.field("address")) {
        try {
            adapter.address = parseMacAddress(address->text());
        } catch (const ProfileError& e) {
            address->fail(e.what());
        }
    }
    if (adapter.address.size() > 8) node.required("address").fail("at most 8 bytes fit an adapter address");
    adapter.addressLength = static_cast<uint32_t>(adapter.address.size());
    if (auto length = node.field("addressLength")) adapter.addressLength = static_cast<uint32_t>(length->integer(0, 8));
    return adapter;
}

Json writeAdapter(const NetworkAdapter& adapter) {
    Json out = {{"description", adapter.description}, {"address", formatMacAddress(adapter.address)}};
    if (adapter.addressLength != adapter.address.size()) out["addressLength"] = adapter.addressLength;
    if (!adapter.adapterName.empty()) out["adapterName"] = adapter.adapterName;
    return out;
}

void readFirmware(const Node& node, Firmware& firmware, const std::filesystem::path& baseDir) {
    node.object({"functionsPresent", "rawSmbios", "acpiTables", "acpiEnumerationResult"});
    readIf(node, "functionsPresent", firmware.functionsPresent, &Node::boolean);
    if (auto smbios = node.field("rawSmbios")) {
        if (smbios->isNull())
            firmware.rawSmbios.reset();
        else
            firmware.rawSmbios = smbios->bytes(baseDir);
    }
    if (auto tables = node.field("acpiTables")) {
        for (const auto& item : tables->array()) {
            item.object({"id", "data"});
            FirmwareTable table;
            auto id = item.required("id");
            if (id.json().is_string()) {
                auto signature = id.text();
                if (signature.size() != 4) id.fail("expected a 4-letter signature such as \"DSDT\" or a number");
                table.id = acpiTableId(signature);
            } else {
                table.id = static_cast<uint32_t>(id.integer(0, 0xFFFFFFFFll));
            }
            table.data = item.required("data").bytes(baseDir);
            firmware.acpiTables.push_back(std::move(table));
        }
    }
    if (auto result = node.field("acpiEnumerationResult")) {
        if (result->isNull())
            firmware.acpiEnumerationResult.reset();
        else
            firmware.acpiEnumerationResult = static_cast<uint32_t>(result->integer(0, 0xFFFFFFFFll));
    }
}

Json writeFirmware(const Firmware& firmware) {
    Json out = {{"functionsPresent", firmware.functionsPresent}};
    out["rawSmbios"] = firmware.rawSmbios ? Json{{"base64", toBase64(*firmware.rawSmbios)}} : Json(nullptr);
    Json tables = Json::array();
    for (const auto& table : firmware.acpiTables) {
        auto signature = acpiSignature(table.id);
        tables.push_back({{"id", signature.empty() ? Json(table.id) : Json(signature)},
                          {"data", {{"base64", toBase64(table.data)}}}});
    }
    out["acpiTables"] = tables;
    if (firmware.acpiEnumerationResult) out["acpiEnumerationResult"] = *firmware.acpiEnumerationResult;
    return out;
}

void readWmi(const Node& node, Wmi& wmi) {
    node.object({"classes", "faults"});
    if (auto classes = node.field("classes")) {
        for (const auto& item : classes->array()) {
            item.object({"name", "known", "rows"});
            WmiClass wmiClass;
            wmiClass.name = item.required("name").wideText();
            readIf(item, "known", wmiClass.known, &Node::boolean);
            if (auto rows = item.field("rows")) {
                for (const auto& rowNode : rows->array()) {
                    if (!rowNode.json().is_object()) rowNode.expected("an object of properties");
                    WmiRow row;
                    for (const auto& [key, value] : rowNode.json().items())
                        row.properties.emplace_back(fromUtf8(key),
                                                    readWmiValue(Node(value, rowNode.path() + "/" + key)));
                    wmiClass.rows.push_back(std::move(row));
                }
            }
            wmi.classes.push_back(std::move(wmiClass));
        }
    }
    if (auto faults = node.field("faults")) {
        faults->object({"coInitializeEx", "coInitializeSecurity", "createLocator", "connectServer", "setProxyBlanket",
                        "execQuery", "execQueryByClass", "nextByClass"});
        auto& f = wmi.faults;
        readIf(*faults, "coInitializeEx", f.coInitializeEx, &Node::hresult);
        readIf(*faults, "coInitializeSecurity", f.coInitializeSecurity, &Node::hresult);
        readIf(*faults, "createLocator", f.createLocator, &Node::hresult);
        readIf(*faults, "connectServer", f.connectServer, &Node::hresult);
        readIf(*faults, "setProxyBlanket", f.setProxyBlanket, &Node::hresult);
        readIf(*faults, "execQuery", f.execQuery, &Node::hresult);
        for (auto [key, target] :
             {std::pair{"execQueryByClass", &f.execQueryByClass}, std::pair{"nextByClass", &f.nextByClass}}) {
            if (auto byClass = faults->field(key)) {
                if (!byClass->json().is_object()) byClass->expected("an object of class names and HRESULTs");
                for (const auto& [name, value] : byClass->json().items())
                    (*target)[fromUtf8(name)] = Node(value, byClass->path() + "/" + name).hresult();
            }
        }
    }
}

Json writeHresult(int32_t hr) {
    for (const auto& entry : kHresults)
        if (static_cast<uint32_t>(hr) == entry.code) return entry.name;
    return hex32(static_cast<uint32_t>(hr));
}

Json writeWmi(const Wmi& wmi) {
    Json classes = Json::array();
    for (const auto& wmiClass : wmi.classes) {
        Json item = {{"name", toUtf8(wmiClass.name)}};
        if (!wmiClass.known) item["known"] = false;
        Json rows = Json::array();
        for (const auto& row : wmiClass.rows) {
            Json properties = Json::object();
            for (const auto& [name, value] : row.properties) properties[toUtf8(name)] = writeWmiValue(value);
            rows.push_back(properties);
        }
        item["rows"] = rows;
        classes.push_back(item);
    }
    Json out = {{"classes", classes}};
    const auto& f = wmi.faults;
    Json faults = Json::object();
    for (auto [key, value] :
         {std::pair{"coInitializeEx", f.coInitializeEx}, std::pair{"coInitializeSecurity", f.coInitializeSecurity},
          std::pair{"createLocator", f.createLocator}, std::pair{"connectServer", f.connectServer},
          std::pair{"setProxyBlanket", f.setProxyBlanket}, std::pair{"execQuery", f.execQuery}}) {
        if (value) faults[key] = writeHresult(value);
    }
    for (auto [key, map] :
         {std::pair{"execQueryByClass", &f.execQueryByClass}, std::pair{"nextByClass", &f.nextByClass}}) {
        if (map->empty()) continue;
        Json byClass = Json::object();
        for (const auto& [name, hr] : *map) byClass[toUtf8(name)] = writeHresult(hr);
        faults[key] = byClass;
    }
    if (!faults.empty()) out["faults"] = faults;
    return out;
}

// JSON that corvane-vmd writes besides profiles, recognised by the keys only
// it has, so that a mix-up is named instead of a field being complained about.
struct OtherKind {
    std::array<const char*, 3> keys;
    const char* name;
};
constexpr std::array kOtherKinds = {
    OtherKind{{"detectors", "verdict", "agrees"}, "an `--explain --json` output"},
    OtherKind{{"signs", "gate", "decidedBy"}, "a `survey` output"},
    OtherKind{{"type", "name", "libraryVersion"}, "a `--json` output"},
};

std::optional<std::string> otherKind(const Json& root) {
    if (!root.is_object() || root.contains("format")) return std::nullopt;
    for (const OtherKind& kind : kOtherKinds) {
        if (std::all_of(kind.keys.begin(), kind.keys.end(), [&](const char* key) { return root.contains(key); }))
            return kind.name;
    }
    return std::nullopt;
}

Json firstLineObject(std::string_view json) {
    const std::string_view line = json.substr(0, json.find('\n'));
    return Json::parse(line.begin(), line.end(), nullptr, false);  // discarded on error
}

[[noreturn]] void notAProfile(const std::string& kind) {
    throw ProfileError("profile: this is " + kind +
                       " of corvane-vmd, not a machine profile (make one with corvane-vmd capture)");
}

// The profile's top-level fields as the stream delivers them, each read into
// the profile at once and then dropped.
class ProfileReader final : public ProfileFields {
public:
    explicit ProfileReader(const std::filesystem::path& baseDir) : baseDir_(baseDir) {}

    bool listField(const std::string& name) override { return section(name).list; }

    void value(const std::string& name, Json&& json) override {
        const Section& found = section(name);
        const Node node(json, "/" + name);
        if (!found.list) return (this->*found.read)(node);
        for (const auto& item : node.array()) (this->*found.read)(item);  // not an array: says so
    }

    void entry(const std::string& name, size_t index, Json&& json) override {
        (this->*section(name).read)(Node(json, "/" + name + "/" + std::to_string(index)));
    }

    bool sawFormat() const { return sawFormat_; }

    MachineProfile finish() {
        if (!sawFormat_) fail("/format", "missing required field");
        if (!sawVersion_) fail("/version", "missing required field");
        return std::move(profile_);
    }

private:
    struct Section {
        const char* name;
        bool list;
        void (ProfileReader::*read)(const Node&);
    };
    static const std::array<Section, 16> kSections;

    static const Section& section(const std::string& name) {
        for (const Section& s : kSections)
            if (name == s.name) return s;
        std::string known;
        for (const Section& s : kSections) known += (known.empty() ? "" : ", ") + std::string(s.name);
        fail("/" + name, "unknown field (known here: " + known + ")");
    }

    void readFormat(const Node& node) {
        if (node.text() != kProfileFormat) node.fail("expected \"" + std::string(kProfileFormat) + "\"");
        sawFormat_ = true;
    }
    void readVersion(const Node& node) {
        const auto version = node.integer(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
        if (version != kProfileVersion)
            node.fail("unsupported version " + std::to_string(version) + " (this build reads version " +
                      std::to_string(kProfileVersion) + ")");
        profile_.version = static_cast<int>(version);
        sawVersion_ = true;
    }
    void readDescription(const Node& node) { profile_.description = node.text(); }
    void readSource(const Node& node) { profile_.source = node.text(); }
    void readExpected(const Node& node) {
        if (node.isNull()) return;
        node.object({"type", "name", "decidedBy", "why"});
        Expectation e;
        e.type = static_cast<int32_t>(node.required("type").integer(0, 10));
        readIf(node, "name", e.name, &Node::text);
        readIf(node, "decidedBy", e.decidedBy, &Node::text);
        readIf(node, "why", e.why, &Node::text);
        profile_.expected = e;
    }
    void readSystemSection(const Node& node) { readSystem(node, profile_.system); }
    void readRegistryEntry(const Node& node) { profile_.registry.push_back(readRegistryKey(node, baseDir_)); }
    void readFileEntry(const Node& node) { profile_.files.push_back(readFile(node)); }
    void readDevice(const Node& node) {
        node.object({"name", "openError"});
        DeviceName device;
        device.name = node.required("name").wideText();
        if (auto error = node.field("openError")) device.openError = error->code();
        profile_.devices.push_back(std::move(device));
    }
    void readProcess(const Node& node) {
        node.object({"pid", "exeName"});
        Process process;
        process.exeName = node.required("exeName").wideText();
        if (auto pid = node.field("pid"))
            process.pid = static_cast<uint32_t>(pid->integer(0, 0xFFFFFFFFll));
        else
            process.pid = nextPid_;
        nextPid_ = std::max(nextPid_, process.pid) + 4;
        profile_.processes.push_back(std::move(process));
    }
    void readAdapterEntry(const Node& node) { profile_.adapters.push_back(readAdapter(node)); }
    void readFirmwareSection(const Node& node) { readFirmware(node, profile_.firmware, baseDir_); }
    void readDiskDrive(const Node& node) {
        node.object({"hardwareIds"});
        DiskDrive drive;
        for (const auto& id : node.required("hardwareIds").array()) drive.hardwareIds.push_back(id.wideText());
        profile_.diskDrives.push_back(std::move(drive));
    }
    void readWindow(const Node& node) {
        node.object({"className", "title"});
        Window window;
        readIf(node, "className", window.className, &Node::wideText);
        readIf(node, "title", window.title, &Node::wideText);
        profile_.windows.push_back(std::move(window));
    }
    void readNetworkProvider(const Node& node) {
        node.object({"netType", "name"});
        NetworkProvider provider;
        provider.netType = node.required("netType").code();
        provider.name = node.required("name").wideText();
        profile_.networkProviders.push_back(std::move(provider));
    }
    void readWmiSection(const Node& node) { readWmi(node, profile_.wmi); }

    std::filesystem::path baseDir_;
    MachineProfile profile_;
    uint32_t nextPid_ = 1000;
    bool sawFormat_ = false;
    bool sawVersion_ = false;
};

// In the order the format lists them (and "unknown field" names them).
const std::array<ProfileReader::Section, 16> ProfileReader::kSections = {{
    {"format", false, &ProfileReader::readFormat},
    {"version", false, &ProfileReader::readVersion},
    {"description", false, &ProfileReader::readDescription},
    {"source", false, &ProfileReader::readSource},
    {"expected", false, &ProfileReader::readExpected},
    {"system", false, &ProfileReader::readSystemSection},
    {"registry", true, &ProfileReader::readRegistryEntry},
    {"files", true, &ProfileReader::readFileEntry},
    {"devices", true, &ProfileReader::readDevice},
    {"processes", true, &ProfileReader::readProcess},
    {"adapters", true, &ProfileReader::readAdapterEntry},
    {"firmware", false, &ProfileReader::readFirmwareSection},
    {"diskDrives", true, &ProfileReader::readDiskDrive},
    {"windows", true, &ProfileReader::readWindow},
    {"networkProviders", true, &ProfileReader::readNetworkProvider},
    {"wmi", false, &ProfileReader::readWmiSection},
}};

}  // namespace

std::optional<uint32_t> registryTypeFromName(std::string_view name) {
    for (const auto& entry : kRegistryTypes)
        if (name == entry.name) return entry.code;
    return std::nullopt;
}

std::string registryTypeName(uint32_t type) {
    for (const auto& entry : kRegistryTypes)
        if (type == entry.code) return entry.name;
    return std::to_string(type);
}

uint32_t acpiTableId(std::string_view signature) {
    uint32_t id = 0;
    for (size_t i = 0; i < 4 && i < signature.size(); ++i)
        id |= static_cast<uint32_t>(static_cast<uint8_t>(signature[i])) << (8 * i);
    return id;
}

std::string acpiSignature(uint32_t id) {
    std::string signature;
    for (int i = 0; i < 4; ++i) {
        char c = static_cast<char>((id >> (8 * i)) & 0xFF);
        bool printable = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (!printable) return {};
        signature.push_back(c);
    }
    return signature;
}

std::vector<uint8_t> parseMacAddress(std::string_view text) {
    std::vector<uint8_t> bytes;
    if (text.empty()) return bytes;
    size_t i = 0;
    while (true) {
        if (i + 2 > text.size()) throw ProfileError("expected a MAC address such as \"08:00:27:12:34:56\"");
        auto pair = fromHex(text.substr(i, 2));
        if (!pair || pair->size() != 1) throw ProfileError("expected a MAC address such as \"08:00:27:12:34:56\"");
        bytes.push_back((*pair)[0]);
        i += 2;
        if (i == text.size()) break;
        if (text[i] != ':' && text[i] != '-')
            throw ProfileError("expected a MAC address such as \"08:00:27:12:34:56\"");
        ++i;
    }
    return bytes;
}

std::string formatMacAddress(const std::vector<uint8_t>& bytes) {
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        char part[4];
        std::snprintf(part, sizeof part, "%02X", bytes[i]);
        if (i) out.push_back(':');
        out += part;
    }
    return out;
}

namespace {

// Our own outputs are small; only a refusal of a document no bigger than this
// looks whether it is one of them.
constexpr size_t kMaxOtherOutputBytes = 1 << 20;

// JSON that is no profile at all is named for what it is, when it is one of
// corvane-vmd's outputs: whole, or JSON Lines (which fail on the second line).
void nameOtherOutput(std::string_view json) {
    if (json.size() > kMaxOtherOutputBytes) return;
    if (const auto kind = otherKind(Json::parse(json.begin(), json.end(), nullptr, false))) notAProfile(*kind);
    if (const auto kind = otherKind(firstLineObject(json))) notAProfile(*kind);
}

}  // namespace

MachineProfile parseProfile(std::string_view json, const std::filesystem::path& baseDir) {
    ProfileReader reader(baseDir);
    try {
        streamProfileFields(json, reader);
        return reader.finish();
    } catch (const ProfileError&) {
        if (!reader.sawFormat()) nameOtherOutput(json);
        throw;
    } catch (const nlohmann::json::exception& e) {
        throw ProfileError(std::string("profile: ") + e.what());
    }
}

MachineProfile readProfileBytes(std::string bytes, std::string_view sourceName, const std::filesystem::path& baseDir) {
    try {
        return parseProfile(profileTextFromBytes(std::move(bytes)), baseDir);
    } catch (const ProfileError& e) {
        // Name the source as well: "profile: x.json: /registry/0/...".
        const std::string what = e.what();
        throw ProfileError("profile: " + std::string(sourceName) + ": " + what.substr(std::string("profile: ").size()));
    }
}

MachineProfile loadProfileFile(const std::filesystem::path& path) {
    const std::string name = toUtf8(path.filename().wstring());
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status)) throw ProfileError("profile: " + name + ": no such file");
    if (std::filesystem::is_directory(status)) throw ProfileError("profile: " + name + ": a folder, not a file");
    // The size first: a file of gigabytes is refused before a byte of it is read.
    const uintmax_t size = std::filesystem::file_size(path, error);
    if (!error && size > kMaxProfileBytes) throw ProfileError("profile: " + name + ": " + tooLarge(size));
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ProfileError("profile: " + name + ": cannot be opened for reading");
    std::string bytes(error ? 0 : static_cast<size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    // Firmware files are read from the profile's folder, named in full in any message.
    const auto folder = std::filesystem::absolute(path, error).parent_path();
    return readProfileBytes(std::move(bytes), name, error ? path.parent_path() : folder);
}

std::string tooLarge(uintmax_t size) {
    return "too large for a machine profile: " + std::to_string(size) + " bytes, over the limit of " +
           std::to_string(kMaxProfileBytes >> 20) + " MiB (a capture is well under 1 MiB)";
}

std::string toJson(const MachineProfile& profile) {
    Json root = {{"format", std::string(kProfileFormat)},
                 {"version", profile.version},
                 {"description", profile.description},
                 {"source", profile.source}};
    if (profile.expected) {
        const auto& e = *profile.expected;
        root["expected"] = {{"type", e.type}, {"name", e.name}, {"decidedBy", e.decidedBy}, {"why", e.why}};
    }
    root["system"] = writeSystem(profile.system);
    Json registry = Json::array();
    for (const auto& key : profile.registry) registry.push_back(writeRegistryKey(key));
    root["registry"] = registry;
    Json files = Json::array();
    for (const auto& entry : profile.files) files.push_back(writeFile(entry));
    root["files"] = files;
    Json devices = Json::array();
    for (const auto& device : profile.devices) {
        Json item = {{"name", toUtf8(device.name)}};
        if (device.openError) item["openError"] = device.openError;
        devices.push_back(item);
    }
    root["devices"] = devices;
    Json processes = Json::array();
    for (const auto& process : profile.processes)
        processes.push_back({{"pid", process.pid}, {"exeName", toUtf8(process.exeName)}});
    root["processes"] = processes;
    Json adapters = Json::array();
    for (const auto& adapter : profile.adapters) adapters.push_back(writeAdapter(adapter));
    root["adapters"] = adapters;
    root["firmware"] = writeFirmware(profile.firmware);
    Json drives = Json::array();
    for (const auto& drive : profile.diskDrives) {
        Json ids = Json::array();
        for (const auto& id : drive.hardwareIds) ids.push_back(toUtf8(id));
        drives.push_back({{"hardwareIds", ids}});
    }
    root["diskDrives"] = drives;
    Json windows = Json::array();
    for (const auto& window : profile.windows)
        windows.push_back({{"className", toUtf8(window.className)}, {"title", toUtf8(window.title)}});
    root["windows"] = windows;
    Json providers = Json::array();
    for (const auto& provider : profile.networkProviders)
        providers.push_back({{"netType", hex32(provider.netType)}, {"name", toUtf8(provider.name)}});
    root["networkProviders"] = providers;
    root["wmi"] = writeWmi(profile.wmi);
    return root.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

void saveProfileFile(const MachineProfile& profile, const std::filesystem::path& path) {
    auto text = toJson(profile);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw ProfileError("profile: cannot write '" + toUtf8(path.wstring()) + "'");
    out << text;
    if (!out) throw ProfileError("profile: cannot write '" + toUtf8(path.wstring()) + "'");
}

}  // namespace Corvane::profile
