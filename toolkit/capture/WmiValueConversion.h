#pragma once
// A WMI property value as a profile keeps it.

#include <optional>

#include "win32/Win32Api.h"
#include "toolkit/profile/MachineProfile.h"

namespace Corvane::capture {

// The VARIANT as a profile value: NULL and empty, text, integers and booleans,
// arrays of text.  Other types (floating point, arrays of numbers, embedded
// objects) have no profile form and give nothing; no check reads one.
std::optional<profile::WmiValue> toWmiValue(const VARIANT& value);

}  // namespace Corvane::capture
