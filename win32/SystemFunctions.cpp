#include "win32/SystemFunctions.h"

namespace Corvane::platform {
namespace {

template <typename Function>
Function as(FARPROC function) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(function));
}

}  // namespace

struct SystemFunctions::Entry::Request {
    Entry& entry;
    const Win32Api& loader;
};

BOOL CALLBACK SystemFunctions::Entry::resolve(PINIT_ONCE, PVOID parameter, PVOID*) {
    auto& [entry, loader] = *static_cast<Request*>(parameter);
    // System32 only: never the host's folder, the current folder or PATH.
    // The module stays loaded for as long as the pointer is kept.
    HMODULE module = loader.LoadLibraryExW(entry.module_, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module) entry.function_ = loader.GetProcAddress(module, entry.name_);
    if (entry.function_) return TRUE;
    entry.failure_ = loader.GetLastError();
    if (module) loader.FreeLibrary(module);
    // A failure is not kept: InitOnceExecuteOnce resets the once-only state
    // when this returns FALSE, so the next call loads again.
    return FALSE;
}

FARPROC SystemFunctions::Entry::get(const Win32Api& loader) {
    Request request{*this, loader};
    if (!InitOnceExecuteOnce(&once_, resolve, &request, nullptr)) return nullptr;
    return function_;
}

ULONG SystemFunctions::GetAdaptersInfo(PIP_ADAPTER_INFO adapters, PULONG size) {
    auto function = as<decltype(&::GetAdaptersInfo)>(adaptersInfo_.get(loader_));
    return function ? function(adapters, size) : ERROR_NOT_SUPPORTED;
}

DWORD SystemFunctions::WNetGetProviderNameW(DWORD netType, LPWSTR name, LPDWORD size) {
    if (auto function = as<decltype(&::WNetGetProviderNameW)>(providerName_.get(loader_)))
        return function(netType, name, size);
    loader_.SetLastError(ERROR_NO_NETWORK);  // WNet functions report their result as the last error too
    return ERROR_NO_NETWORK;
}

BOOLEAN SystemFunctions::GetPwrCapabilities(PSYSTEM_POWER_CAPABILITIES capabilities) {
    if (auto function = as<decltype(&::GetPwrCapabilities)>(powerCapabilities_.get(loader_)))
        return function(capabilities);
    loader_.SetLastError(powerCapabilities_.failure());
    return FALSE;
}

}  // namespace Corvane::platform
