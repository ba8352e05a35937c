// COM start-up and the automation functions.  Apartments are counted per
// thread like real COM; BSTRs and safe arrays are the real ones of OLEAUT32,
// tracked from the moment the machine hands them out until they are freed.
#include "toolkit/simulation/SimState.h"

namespace Corvane::simulated::detail {
namespace {

constexpr int kSingleThreaded = COINIT_APARTMENTTHREADED;
constexpr int kMultiThreaded = COINIT_MULTITHREADED;

// {4590F811-1D3A-11D0-891F-00AA004B2E24}
constexpr CLSID kWbemLocator = {0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

}  // namespace

HRESULT WINAPI simCoInitializeEx(LPVOID, DWORD flags) {
    Session s("CoInitializeEx", hexArgument(flags));
    auto& m = s.m;
    auto& thread = m.thread();
    int model = (flags & COINIT_APARTMENTTHREADED) ? kSingleThreaded : kMultiThreaded;
    if (auto fault = m.profile.wmi.faults.coInitializeEx; fault && !m.comInitializeExFaultUsed) {
        m.comInitializeExFaultUsed = true;
        // RPC_E_CHANGED_MODE means the host already put this thread into the multithreaded apartment.
        if (fault == RPC_E_CHANGED_MODE && thread.apartment < 0) {
            thread.apartment = kMultiThreaded;
            thread.externalMta = true;
        }
        return fault;
    }
    if (thread.apartment >= 0 && thread.apartment != model) return RPC_E_CHANGED_MODE;
    bool first = thread.apartment < 0;
    thread.apartment = model;
    ++thread.comDepth;
    return first ? S_OK : S_FALSE;
}

void WINAPI simCoUninitialize() {
    Session s("CoUninitialize");
    auto& thread = s.m.thread();
    if (thread.comDepth == 0) {
        s.m.noteInvalidRelease("CoUninitialize without a CoInitializeEx of this thread left to balance");
        return;
    }
    if (--thread.comDepth == 0 && !thread.externalMta) thread.apartment = -1;
}

static std::string pointerArgument(const void* pointer) { return pointer ? "set" : "null"; }

HRESULT WINAPI simCoInitializeSecurity(PSECURITY_DESCRIPTOR descriptor, LONG authServiceCount,
                                       SOLE_AUTHENTICATION_SERVICE* authServices, void* reserved1, DWORD authnLevel,
                                       DWORD impLevel, void* authList, DWORD capabilities, void* reserved3) {
    Session s("CoInitializeSecurity");
    auto& m = s.m;
    m.recordFlags("descriptor=" + pointerArgument(descriptor) + " authServices=" + std::to_string(authServiceCount) +
                  "/" + pointerArgument(authServices) + " reserved1=" + pointerArgument(reserved1) +
                  " authnLevel=" + std::to_string(authnLevel) + " impLevel=" + std::to_string(impLevel) +
                  " authList=" + pointerArgument(authList) + " capabilities=" + hexArgument(capabilities) +
                  " reserved3=" + pointerArgument(reserved3));
    if (m.thread().apartment < 0) return CO_E_NOTINITIALIZED;
    if (m.profile.wmi.faults.coInitializeSecurity) return m.profile.wmi.faults.coInitializeSecurity;
    if (m.comSecuritySet) return RPC_E_TOO_LATE;  // once per process
    m.comSecuritySet = true;
    return S_OK;
}

HRESULT WINAPI simCoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD, REFIID iid, LPVOID* object) {
    bool locator = IsEqualCLSID(clsid, kWbemLocator);
    Session s("CoCreateInstance", locator ? "WbemLocator" : "other class");
    auto& m = s.m;
    if (!object) return E_POINTER;
    *object = nullptr;
    if (m.thread().apartment < 0) return CO_E_NOTINITIALIZED;
    if (!locator) return REGDB_E_CLASSNOTREG;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (m.profile.wmi.faults.createLocator) return m.profile.wmi.faults.createLocator;
    if (!IsEqualIID(iid, IID_IWbemLocator) && !IsEqualIID(iid, IID_IUnknown)) return E_NOINTERFACE;
    *object = createFakeLocator(m);
    return S_OK;
}

HRESULT WINAPI simCoSetProxyBlanket(IUnknown* proxy, DWORD authnService, DWORD authzService, OLECHAR* principal,
                                    DWORD authnLevel, DWORD impLevel, RPC_AUTH_IDENTITY_HANDLE identity,
                                    DWORD capabilities) {
    Session s("CoSetProxyBlanket");
    s.m.recordFlags("authnService=" + std::to_string(authnService) + " authzService=" + std::to_string(authzService) +
                    " principal=" + pointerArgument(principal) + " authnLevel=" + std::to_string(authnLevel) +
                    " impLevel=" + std::to_string(impLevel) + " identity=" + pointerArgument(identity) +
                    " capabilities=" + hexArgument(capabilities));
    if (!proxy || !isFakeServices(s.m, proxy)) return E_INVALIDARG;
    return s.m.profile.wmi.faults.setProxyBlanket;
}

// GCC 12 takes "literal" + std::string&& for an overlapping memcpy (GCC bug 105651).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
BSTR WINAPI simSysAllocString(const OLECHAR* text) {
    Session s("SysAllocString", narrowArgument(text));
    BSTR value = ::SysAllocString(text);
    s.m.trackBstr(value, "\"" + narrowArgument(text) + "\" from SysAllocString");
    return value;
}

void WINAPI simSysFreeString(BSTR value) {
    Session s("SysFreeString");
    s.m.bstrs.erase(value);
    ::SysFreeString(value);
}

HRESULT WINAPI simVariantClear(VARIANTARG* variant) {
    Session s("VariantClear");
    if (!variant) return E_INVALIDARG;
    VARTYPE type = variant->vt;
    BSTR text = type == VT_BSTR ? variant->bstrVal : nullptr;
    SAFEARRAY* array = (type & VT_ARRAY) && !(type & VT_BYREF) ? variant->parray : nullptr;
    HRESULT hr = ::VariantClear(variant);
    if (SUCCEEDED(hr)) {
        if (text) s.m.bstrs.erase(text);
        if (array) {
            s.m.safeArrays.erase(array);
            s.m.arrayLocks.erase(array);
        }
    }
    return hr;
}

HRESULT WINAPI simSafeArrayAccessData(SAFEARRAY* array, void** data) {
    Session s("SafeArrayAccessData");
    HRESULT hr = ::SafeArrayAccessData(array, data);
    if (SUCCEEDED(hr)) ++s.m.arrayLocks[array];
    return hr;
}

HRESULT WINAPI simSafeArrayUnaccessData(SAFEARRAY* array) {
    Session s("SafeArrayUnaccessData");
    HRESULT hr = ::SafeArrayUnaccessData(array);
    if (FAILED(hr)) {
        s.m.noteInvalidRelease("SafeArrayUnaccessData of an array that was not locked");
        return hr;
    }
    if (auto it = s.m.arrayLocks.find(array); it != s.m.arrayLocks.end() && --it->second <= 0) s.m.arrayLocks.erase(it);
    return hr;
}

HRESULT WINAPI simSafeArrayGetLBound(SAFEARRAY* array, UINT dimension, LONG* bound) {
    Session s("SafeArrayGetLBound");
    return ::SafeArrayGetLBound(array, dimension, bound);
}

HRESULT WINAPI simSafeArrayGetUBound(SAFEARRAY* array, UINT dimension, LONG* bound) {
    Session s("SafeArrayGetUBound");
    return ::SafeArrayGetUBound(array, dimension, bound);
}

HRESULT WINAPI simSafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* element) {
    Session s("SafeArrayGetElement", indices ? std::to_string(*indices) : "(null)");
    HRESULT hr = ::SafeArrayGetElement(array, indices, element);
    VARTYPE type = VT_EMPTY;
    if (SUCCEEDED(hr) && SUCCEEDED(::SafeArrayGetVartype(array, &type)) && type == VT_BSTR) {
        // The element of a BSTR array comes back as a copy the caller owns.
        BSTR copy = *static_cast<BSTR*>(element);
        s.m.trackBstr(copy, "\"" + narrowArgument(copy) + "\" copied out by SafeArrayGetElement");
    }
    return hr;
}
#pragma GCC diagnostic pop

}  // namespace Corvane::simulated::detail
