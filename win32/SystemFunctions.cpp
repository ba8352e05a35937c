#include "win32/SystemFunctions.h"

#include <initializer_list>

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
    DWORD failure = ERROR_SUCCESS;
};

BOOL CALLBACK SystemFunctions::Entry::resolve(PINIT_ONCE, PVOID parameter, PVOID*) {
    auto& request = *static_cast<Request*>(parameter);
    auto& [entry, loader, failure] = request;
    // System32 only: never the host's folder, the current folder or PATH.
    // The module stays loaded for as long as the pointer is kept.
    HMODULE module = loader.LoadLibraryExW(entry.module_, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    FARPROC function = module ? loader.GetProcAddress(module, entry.name_) : nullptr;
    if (function) {
        entry.loaded_ = module;
        entry.function_ = function;
        return TRUE;
    }
    failure = loader.GetLastError();
    if (module) loader.FreeLibrary(module);
    // A failure is not kept: InitOnceExecuteOnce resets the once-only state
    // when this returns FALSE, so the next call loads again.
    return FALSE;
}

FARPROC SystemFunctions::Entry::get(const Win32Api& loader, DWORD& failure) {
    Request request{*this, loader};
    const bool found = InitOnceExecuteOnce(&once_, resolve, &request, nullptr);
    failure = request.failure;
    return found ? function_ : nullptr;
}

void SystemFunctions::Entry::release(const Win32Api& loader) {
    if (loaded_) loader.FreeLibrary(loaded_);
    loaded_ = nullptr;
    function_ = nullptr;
    InitOnceInitialize(&once_);
}

void SystemFunctions::release() {
    for (Entry* entry : {&adaptersInfo_, &providerName_, &powerCapabilities_}) entry->release(loader_);
}

ULONG SystemFunctions::GetAdaptersInfo(PIP_ADAPTER_INFO adapters, PULONG size) {
    DWORD failure = ERROR_SUCCESS;
    auto function = as<decltype(&::GetAdaptersInfo)>(adaptersInfo_.get(loader_, failure));
    return function ? function(adapters, size) : ERROR_NOT_SUPPORTED;
}

DWORD SystemFunctions::WNetGetProviderNameW(DWORD netType, LPWSTR name, LPDWORD size) {
    DWORD failure = ERROR_SUCCESS;
    if (auto function = as<decltype(&::WNetGetProviderNameW)>(providerName_.get(loader_, failure)))
        return function(netType, name, size);
    loader_.SetLastError(ERROR_NO_NETWORK);  // WNet functions report their result as the last error too
    return ERROR_NO_NETWORK;
}

BOOLEAN SystemFunctions::GetPwrCapabilities(PSYSTEM_POWER_CAPABILITIES capabilities) {
    DWORD failure = ERROR_SUCCESS;
    if (auto function = as<decltype(&::GetPwrCapabilities)>(powerCapabilities_.get(loader_, failure)))
        return function(capabilities);
    loader_.SetLastError(failure);
    return FALSE;
}

}  // namespace Corvane::platform
