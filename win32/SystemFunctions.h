#pragma once
// The functions the library needs from System32 modules that are not
// KnownDLLs: GetAdaptersInfo (iphlpapi.dll), WNetGetProviderNameW (mpr.dll)
// and GetPwrCapabilities (powrprof.dll).
//
// The DLL does not import these modules.  The loader looks for an imported
// module outside KnownDLLs in the host's own folder before System32, so a
// copy planted there would run inside the host the moment it loads us.
// Instead each module is loaded from System32 alone on first use and, once
// its function is found, kept until release() (for the real table: when the
// DLL unloads, see Win32Api.cpp).  When the module or the function cannot be
// had, the call fails as Windows reports a failure of that function, which
// the probes already take as a missing sign, and the next call tries the load
// again: a transient failure must not blind every later detection.

#include "win32/Win32Api.h"

namespace Corvane::platform {

class SystemFunctions {
public:
    // `loader` supplies LoadLibraryExW, GetProcAddress, FreeLibrary,
    // GetLastError and SetLastError.
    explicit constexpr SystemFunctions(const Win32Api& loader) : loader_(loader) {}
    SystemFunctions(const SystemFunctions&) = delete;
    SystemFunctions& operator=(const SystemFunctions&) = delete;

    ULONG GetAdaptersInfo(PIP_ADAPTER_INFO adapters, PULONG size);         // unavailable: ERROR_NOT_SUPPORTED
    DWORD WNetGetProviderNameW(DWORD netType, LPWSTR name, LPDWORD size);  // unavailable: ERROR_NO_NETWORK
    BOOLEAN GetPwrCapabilities(PSYSTEM_POWER_CAPABILITIES capabilities);   // unavailable: FALSE

    // Frees every module kept; a later call loads it again.  Not thread-safe:
    // for the moment no call can be running, such as the DLL's unload.
    void release();

private:
    // One function of one System32 module, looked up until found once,
    // thread-safely.
    class Entry {
    public:
        constexpr Entry(const wchar_t* module, const char* name) : module_(module), name_(name) {}
        // The function, or null with the loader's last error of this call's
        // own attempt in `failure`: nothing of a failed attempt is kept, so
        // threads that fail together read no shared state.
        FARPROC get(const Win32Api& loader, DWORD& failure);
        void release(const Win32Api& loader);

    private:
        struct Request;
        static BOOL CALLBACK resolve(PINIT_ONCE, PVOID request, PVOID*);
        const wchar_t* module_;
        const char* name_;
        INIT_ONCE once_ = INIT_ONCE_STATIC_INIT;
        HMODULE loaded_ = nullptr;  // written once, inside the once-only callback
        FARPROC function_ = nullptr;
    };

    const Win32Api& loader_;
    Entry adaptersInfo_{L"iphlpapi.dll", "GetAdaptersInfo"};
    Entry providerName_{L"mpr.dll", "WNetGetProviderNameW"};
    Entry powerCapabilities_{L"powrprof.dll", "GetPwrCapabilities"};
};

}  // namespace Corvane::platform
