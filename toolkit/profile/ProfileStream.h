#pragma once
// A machine profile's JSON read as a stream, one top-level field at a time:
// each field's value, or each entry of a field that holds a list, reaches the
// reader as a small tree the moment it is complete.  The whole document never
// exists as one tree, so a file costs about its own size.  What no profile can
// hold is refused where it is met, before the rest is read:
//
//   malformed JSON, a key given twice in one object (the top level too),
//   nesting deeper than kMaxProfileDepth, more than kMaxEntries in one array or
//   object, more than kMaxValues values in the document, an integer too large
//   for any field.
//
// Every refusal is a ProfileError naming the place as a JSON pointer.

#include <cstddef>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace Corvane::profile {

using Json = nlohmann::ordered_json;

// The deepest a profile goes: /wmi/classes/N/rows/N/Property/value/N.
inline constexpr size_t kMaxProfileDepth = 8;
// No list of a real machine comes near: a capture lists a few hundred processes or registry keys.
inline constexpr size_t kMaxEntries = 65536;
// Every value (objects and arrays included) of one document; a capture holds about ten thousand.
inline constexpr size_t kMaxValues = size_t{1} << 21;

// Where the stream delivers the fields of the top-level object.
class ProfileFields {
public:
    virtual ~ProfileFields() = default;
    // A top-level key is met, before its value: throws ProfileError for a field
    // the format does not have; true when its entries are to come one by one.
    virtual bool listField(const std::string& name) = 0;
    // A field's whole value (a list field's value when it is no array).
    virtual void value(const std::string& name, Json&& value) = 0;
    // One entry of a list field.
    virtual void entry(const std::string& name, size_t index, Json&& value) = 0;
};

// Reads `json`, UTF-8, into `fields`; returns at the end of the document.
void streamProfileFields(std::string_view json, ProfileFields& fields);

// A message with every byte that is not UTF-8 text (and every control
// character) written as \xNN, fit for one line on a console.
std::string escapeBytes(std::string_view text);

}  // namespace Corvane::profile
