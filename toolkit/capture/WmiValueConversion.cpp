#include "toolkit/capture/WmiValueConversion.h"

namespace Corvane::capture {
namespace {

std::optional<std::vector<std::wstring>> stringArray(SAFEARRAY* array) {
    if (!array || SafeArrayGetDim(array) != 1) return std::nullopt;
    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper))) {
        return std::nullopt;
    }
    std::vector<std::wstring> strings;
    for (LONG index = lower; index <= upper; ++index) {
        BSTR element = nullptr;
        if (FAILED(SafeArrayGetElement(array, &index, &element))) return std::nullopt;
        strings.emplace_back(element ? element : L"", element ? SysStringLen(element) : 0u);
        SysFreeString(element);
    }
    return strings;
}

}  // namespace

std::optional<profile::WmiValue> toWmiValue(const VARIANT& value) {
    profile::WmiValue converted;
    converted.vt = value.vt;
    switch (value.vt) {
        case VT_EMPTY:
        case VT_NULL: return converted;
        case VT_BSTR:
            if (value.bstrVal) converted.text.assign(value.bstrVal, SysStringLen(value.bstrVal));
            return converted;
        case VT_BOOL: converted.integer = value.boolVal; return converted;
        case VT_I1: converted.integer = value.cVal; return converted;
        case VT_UI1: converted.integer = value.bVal; return converted;
        case VT_I2: converted.integer = value.iVal; return converted;
        case VT_UI2: converted.integer = value.uiVal; return converted;
        case VT_I4:
        case VT_INT: converted.integer = value.lVal; return converted;
        case VT_UI4:
        case VT_UINT: converted.integer = value.ulVal; return converted;
        case VT_I8: converted.integer = value.llVal; return converted;
        case VT_UI8: converted.integer = static_cast<int64_t>(value.ullVal); return converted;
        case VT_ARRAY | VT_BSTR: {
            auto strings = stringArray(value.parray);
            if (!strings) return std::nullopt;
            converted.strings = std::move(*strings);
            return converted;
        }
        default: return std::nullopt;
    }
}

}  // namespace Corvane::capture
