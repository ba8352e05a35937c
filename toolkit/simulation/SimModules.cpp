// kernel32 as the library sees it: a module handle with a reference count and
// the exports the profile says it has.  And iphlpapi, mpr and powrprof, which
// the library loads from System32 alone: the machine serves them only to such
// a load, so a load that would search the host's folder finds nothing here.
#include <algorithm>
#include <cstring>

#include "toolkit/simulation/SimState.h"

namespace Corvane::simulated::detail {
namespace {

// A fake module handle: an address inside the machine's own image, never a real module.
const char kKernel32Image[16] = "sim:kernel32";
HMODULE kernel32Handle() { return reinterpret_cast<HMODULE>(const_cast<char*>(kKernel32Image)); }

bool isKernel32Name(std::string_view name) {
    return equalsIgnoreCase(name, "kernel32.dll") || equalsIgnoreCase(name, "kernel32");
}

BOOL WINAPI simIsWow64Process(HANDLE process, PBOOL wow64) {
    Session s("IsWow64Process");
    const auto& system = s.m.profile.system;
    if (system.isWow64ProcessFails || !wow64 || process != GetCurrentProcess()) {
        s.m.setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *wow64 = system.wow64 ? TRUE : FALSE;
    return TRUE;
}

// What GetProcAddress hands out for an export that exists but that nothing should call.
int WINAPI presentExport() { return 0; }

// The System32 modules outside KnownDLLs, each with the one export the library uses.
struct SystemModule {
    const char* name;
    char image[16];  // the module handle is this address
    const char* exportName;
    FARPROC function;
};
SystemModule kSystemModules[] = {
    {"iphlpapi.dll", "sim:iphlpapi", "GetAdaptersInfo", reinterpret_cast<FARPROC>(simGetAdaptersInfo)},
    {"mpr.dll", "sim:mpr", "WNetGetProviderNameW", reinterpret_cast<FARPROC>(simWNetGetProviderNameW)},
    {"powrprof.dll", "sim:powrprof", "GetPwrCapabilities", reinterpret_cast<FARPROC>(simGetPwrCapabilities)},
};

const SystemModule* systemModule(HMODULE handle) {
    for (const auto& module : kSystemModules)
        if (handle == reinterpret_cast<HMODULE>(const_cast<char*>(module.image))) return &module;
    return nullptr;
}

bool listed(const std::vector<std::string>& names, std::string_view name) {
    return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return equalsIgnoreCase(n, name); });
}

}  // namespace

HMODULE WINAPI simLoadLibraryA(LPCSTR name) {
    Session s("LoadLibraryA", name ? name : "(null)");
    if (!name || !isKernel32Name(name)) {
        s.m.setLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    ++s.m.kernel32References;
    return kernel32Handle();
}

HMODULE WINAPI simLoadLibraryExW(LPCWSTR name, HANDLE file, DWORD flags) {
    const std::string wanted = narrowArgument(name);
    Session s("LoadLibraryExW", wanted + " " + hexArgument(flags));
    if (name && !file && flags == LOAD_LIBRARY_SEARCH_SYSTEM32 && !listed(s.m.faults.refusedModules, wanted))
        for (auto& module : kSystemModules)
            if (equalsIgnoreCase(wanted, module.name)) return reinterpret_cast<HMODULE>(module.image);
    s.m.setLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

BOOL WINAPI simFreeLibrary(HMODULE module) {
    const SystemModule* system = systemModule(module);
    Session s("FreeLibrary", system ? system->name : "");
    if (system) return TRUE;  // the System32 modules keep no reference count here
    if (module != kernel32Handle() || s.m.kernel32References == 0) {
        s.m.noteInvalidRelease("FreeLibrary without a matching LoadLibraryA");
        s.m.setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    --s.m.kernel32References;
    return TRUE;
}

HMODULE WINAPI simGetModuleHandleW(LPCWSTR name) {
    Session s("GetModuleHandleW", narrowArgument(name));
    if (!name || !isKernel32Name(toUtf8(name))) {
        s.m.setLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return kernel32Handle();
}

// GCC 12 takes "literal" + std::string&& for an overlapping memcpy (GCC bug 105651).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
FARPROC WINAPI simGetProcAddress(HMODULE module, LPCSTR name) {
    bool byOrdinal = reinterpret_cast<uintptr_t>(name) < 0x10000;
    Session s("GetProcAddress",
              byOrdinal ? "#" + std::to_string(reinterpret_cast<uintptr_t>(name)) : std::string(name));
    const auto& m = s.m;
    if (const SystemModule* system = systemModule(module); system && !byOrdinal) {
        if (system->exportName == std::string_view(name) && !listed(m.faults.missingExports, name))
            return system->function;
        s.m.setLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    if (module != kernel32Handle()) {
        s.m.setLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (!byOrdinal) {
        std::string_view wanted(name);
        if (m.profile.firmware.functionsPresent) {
            if (wanted == "GetSystemFirmwareTable") return reinterpret_cast<FARPROC>(simGetSystemFirmwareTable);
            if (wanted == "EnumSystemFirmwareTables") return reinterpret_cast<FARPROC>(simEnumSystemFirmwareTables);
        }
        if (wanted == "IsWow64Process" && m.profile.system.isWow64ProcessPresent)
            return reinterpret_cast<FARPROC>(simIsWow64Process);
        for (const auto& extra : m.profile.system.kernel32Exports)
            if (wanted == extra) return reinterpret_cast<FARPROC>(presentExport);
    }
    s.m.setLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}
#pragma GCC diagnostic pop

ULONG WINAPI simBoundGetAdaptersInfo(PIP_ADAPTER_INFO adapters, PULONG size) {
    return boundState().systemFunctions.GetAdaptersInfo(adapters, size);
}

DWORD WINAPI simBoundWNetGetProviderNameW(DWORD netType, LPWSTR name, LPDWORD size) {
    return boundState().systemFunctions.WNetGetProviderNameW(netType, name, size);
}

BOOLEAN WINAPI simBoundGetPwrCapabilities(PSYSTEM_POWER_CAPABILITIES capabilities) {
    return boundState().systemFunctions.GetPwrCapabilities(capabilities);
}

HANDLE WINAPI simGetCurrentProcess() {
    Session s("GetCurrentProcess");
    return GetCurrentProcess();  // the pseudo handle (HANDLE)-1, as on Windows
}

}  // namespace Corvane::simulated::detail
