#pragma once
// A BSTR made and freed through the seam, for the arguments of WMI calls.

#include <new>

#include "win32/Win32Api.h"

namespace Corvane::platform {

// A BSTR that could not be allocated: memory exhaustion, carrying E_OUTOFMEMORY.
class BstrAllocationError : public std::bad_alloc {
public:
    HRESULT code() const noexcept { return E_OUTOFMEMORY; }
    const char* what() const noexcept override { return "BSTR allocation failed (E_OUTOFMEMORY)"; }
};

class WmiBstr {
public:
    explicit WmiBstr(const wchar_t* text) : value_(win32().SysAllocString(text)) {
        if (value_ == nullptr) throw BstrAllocationError();
    }
    ~WmiBstr() { win32().SysFreeString(value_); }
    WmiBstr(const WmiBstr&) = delete;
    WmiBstr& operator=(const WmiBstr&) = delete;

    BSTR get() const { return value_; }

private:
    BSTR value_;
};

}  // namespace Corvane::platform
