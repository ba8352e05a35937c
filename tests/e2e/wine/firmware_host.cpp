// Serves ACPI tables to CorvaneVMD inside this one process.
//
// Linked into a copy of corvane-vmd (its own main and commands), this file
// installs itself before main runs.  Wine has no ACPI tables: its
// EnumSystemFirmwareTables('ACPI') is an empty stub, which every detector
// with an ACPI check counts as a sign.  To show how a real guest's tables are
// judged, the tables in the folder named by CORVANE_E2E_ACPI_DIR are served
// instead.
//
// The library resolves the firmware functions by name through
// GetProcAddress(LoadLibraryA("Kernel32.dll"), ...).  Both copies of it in
// this process, the shipped CorvaneVMD.dll and the explanation engine linked
// into the executable, call GetProcAddress through their import address
// tables; the kernel32 entry of each is pointed at lookUpProcedure below,
// which hands out this file's two functions for those names and forwards
// every other name.  The DLL carries nothing of this.
//
// CORVANE_E2E_HIDE_WINE=1 also hides Wine's own two signs from the library:
// the lookup of "wine_get_unix_file_name" fails, and so does opening
// HKEY_CURRENT_USER\SOFTWARE\Wine (Wine recreates that key at every process
// start, so a prefix cannot simply go without it).  A detector asked after
// the Wine detector can then show its verdict.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../ReplaceImport.h"

namespace {

constexpr DWORD kProviderAcpi = 0x41435049;  // 'ACPI'

using GetProcAddressFn = FARPROC(WINAPI*)(HMODULE, LPCSTR);
using EnumTablesFn = UINT(WINAPI*)(DWORD, PVOID, DWORD);
using GetTableFn = UINT(WINAPI*)(DWORD, DWORD, PVOID, DWORD);
using RegOpenKeyExWFn = LSTATUS(WINAPI*)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);

GetProcAddressFn realGetProcAddress = nullptr;
EnumTablesFn realEnumTables = nullptr;
GetTableFn realGetTable = nullptr;
RegOpenKeyExWFn realRegOpenKeyExW = nullptr;
bool hideWine = false;

struct AcpiTable {
    DWORD id;  // the signature's four bytes, as the enumeration lists them
    std::vector<char> bytes;
};
std::vector<AcpiTable> servedTables;

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "firmware host: %s\n", message.c_str());
    std::exit(2);
}

// Every file of the folder is one raw table with its 36-byte header; they are
// listed in file name order.
void loadTables(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (bytes.size() < 36) fail("not an ACPI table: " + file.string());
        AcpiTable table{0, std::move(bytes)};
        std::memcpy(&table.id, table.bytes.data(), sizeof table.id);
        servedTables.push_back(std::move(table));
    }
    if (servedTables.empty()) fail("no tables in " + folder.string());
}

UINT WINAPI servedEnumTables(DWORD provider, PVOID buffer, DWORD size) {
    if (provider != kProviderAcpi) return realEnumTables ? realEnumTables(provider, buffer, size) : 0;
    const DWORD needed = static_cast<DWORD>(servedTables.size() * sizeof(DWORD));
    if (buffer && size >= needed) {
        auto* ids = static_cast<DWORD*>(buffer);
        for (const AcpiTable& table : servedTables) *ids++ = table.id;
    }
    return needed;
}

UINT WINAPI servedGetTable(DWORD provider, DWORD id, PVOID buffer, DWORD size) {
    if (provider != kProviderAcpi) return realGetTable ? realGetTable(provider, id, buffer, size) : 0;
    for (const AcpiTable& table : servedTables) {
        if (table.id != id) continue;
        const DWORD length = static_cast<DWORD>(table.bytes.size());
        if (buffer && size >= length) std::memcpy(buffer, table.bytes.data(), length);
        return length;
    }
    SetLastError(ERROR_NOT_FOUND);
    return 0;
}

FARPROC WINAPI lookUpProcedure(HMODULE module, LPCSTR name) {
    const bool byName = reinterpret_cast<ULONG_PTR>(name) > 0xFFFF;
    if (byName && std::strcmp(name, "EnumSystemFirmwareTables") == 0)
        return reinterpret_cast<FARPROC>(servedEnumTables);
    if (byName && std::strcmp(name, "GetSystemFirmwareTable") == 0) return reinterpret_cast<FARPROC>(servedGetTable);
    if (byName && hideWine && std::strcmp(name, "wine_get_unix_file_name") == 0) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return realGetProcAddress(module, name);
}

LSTATUS WINAPI openKeyHidingWine(HKEY root, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    if (root == HKEY_CURRENT_USER && subKey && _wcsicmp(subKey, L"SOFTWARE\\Wine") == 0) return ERROR_FILE_NOT_FOUND;
    return realRegOpenKeyExW(root, subKey, options, access, result);
}

// Points the module's import of library!function at replacement.
void redirectImport(HMODULE module, const char* what, const char* library, const char* function, void* replacement) {
    if (!replaceImport(module, GetProcAddress(GetModuleHandleA(library), function),
                       reinterpret_cast<FARPROC>(replacement)))
        fail(std::string(what) + " does not import " + function + " from " + library);
}

// Runs before main: the DLL is loaded here, beside this executable, exactly
// where the tool's own code loads it a moment later (it then gets this same,
// already redirected module).
struct Installation {
    Installation() {
        const char* folder = std::getenv("CORVANE_E2E_ACPI_DIR");
        if (!folder || !*folder) fail("CORVANE_E2E_ACPI_DIR names no folder of ACPI tables");
        loadTables(folder);
        const char* hide = std::getenv("CORVANE_E2E_HIDE_WINE");
        hideWine = hide && std::strcmp(hide, "1") == 0;

        HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
        realGetProcAddress = reinterpret_cast<GetProcAddressFn>(GetProcAddress(kernel32, "GetProcAddress"));
        realEnumTables = reinterpret_cast<EnumTablesFn>(GetProcAddress(kernel32, "EnumSystemFirmwareTables"));
        realGetTable = reinterpret_cast<GetTableFn>(GetProcAddress(kernel32, "GetSystemFirmwareTable"));
        realRegOpenKeyExW = reinterpret_cast<RegOpenKeyExWFn>(
            GetProcAddress(LoadLibraryW(L"advapi32.dll"), "RegOpenKeyExW"));

        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        const std::filesystem::path dllPath = std::filesystem::path(path).parent_path() / L"CorvaneVMD.dll";
        HMODULE dll = LoadLibraryW(dllPath.c_str());
        if (!dll) fail("cannot load " + dllPath.string());
        for (HMODULE module : {dll, GetModuleHandleW(nullptr)}) {
            const char* what = module == dll ? "CorvaneVMD.dll" : "the executable";
            redirectImport(module, what, "kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(lookUpProcedure));
            if (hideWine)
                redirectImport(module, what, "advapi32.dll", "RegOpenKeyExW",
                               reinterpret_cast<void*>(openKeyHidingWine));
        }
    }
} installation;

}  // namespace
