// A host in a folder that also holds planted IPHLPAPI.dll, MPR.dll and
// POWRPROF.dll (planted_module.c), each leaving a marker when loaded:
//
//   planting_host.exe MODULE...    the System32 modules this run must reach
//
// It loads CorvaneVMD.dll from its folder by full path, runs DetectVM, then
// runs "corvane-vmd.exe detect --explain" from the same folder (which makes
// every call of every check, the three included), and fails on any marker.
// ctest sets WINEDLLOVERRIDES "iphlpapi,mpr,powrprof=n,b": for these, as
// Windows does for modules outside KnownDLLs, Wine then looks in the host's
// folder first.  It also sets "wbemprox=d": Wine's WMI provider, unlike
// Windows', runs in-process and imports iphlpapi itself, so with it up a
// loaded iphlpapi would prove nothing about the library; and with WMI down
// the general detection goes on to GetPwrCapabilities.  Then nothing else
// loads the three, so the host shows that the library's own calls were
// reached and went to System32: none of the three is loaded once the DLL
// is, and after DetectVM each MODULE is loaded, from the system folder.
#include <windows.h>

#include <cstdio>
#include <string>

#include "bench/ChildProcess.h"

namespace {

const wchar_t* const kPlanted[] = {L"IPHLPAPI.dll", L"MPR.dll", L"POWRPROF.dll"};
std::wstring g_folder;
int g_failures = 0;

void check(bool ok, const wchar_t* what, const std::wstring& detail) {
    std::wprintf(L"%ls: %ls %ls\n", ok ? L"ok" : L"FAIL", what, detail.c_str());
    if (!ok) ++g_failures;
}

void checkNoMarker(const wchar_t* stage) {
    for (const wchar_t* name : kPlanted) {
        const bool planted = GetFileAttributesW((g_folder + name + L".loaded").c_str()) != INVALID_FILE_ATTRIBUTES;
        check(!planted, stage, std::wstring(L"without loading the planted ") + name);
    }
}

std::wstring loadedFrom(const wchar_t* module) {
    wchar_t path[MAX_PATH] = L"";
    if (HMODULE handle = GetModuleHandleW(module)) GetModuleFileNameW(handle, path, MAX_PATH);
    return path;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    g_folder = corvane_bench::ownPath();
    g_folder.erase(g_folder.find_last_of(L'\\') + 1);
    for (const wchar_t* name : kPlanted) DeleteFileW((g_folder + name + L".loaded").c_str());

    HMODULE library = LoadLibraryW((g_folder + L"CorvaneVMD.dll").c_str());
    check(library != nullptr, L"CorvaneVMD.dll loads", g_folder);
    if (!library) return 1;
    checkNoMarker(L"loading the DLL");
    for (const wchar_t* name : kPlanted) check(loadedFrom(name).empty(), L"not loaded with the DLL:", name);

    auto detectVM = reinterpret_cast<void(__cdecl*)()>(GetProcAddress(library, "DetectVM"));
    if (detectVM) detectVM();
    checkNoMarker(L"DetectVM ran");
    wchar_t system[MAX_PATH];
    const UINT systemLength = GetSystemDirectoryW(system, MAX_PATH);
    for (int i = 1; i < argc; ++i) {
        const std::wstring path = loadedFrom(argv[i]);
        check(!path.empty() && _wcsnicmp(path.c_str(), system, systemLength) == 0, L"DetectVM reached",
              path + L" for " + argv[i]);
    }

    corvane_bench::runProgram(g_folder + L"corvane-vmd.exe", {L"detect", L"--explain"});  // throws if it cannot start
    checkNoMarker(L"corvane-vmd.exe ran");
    std::wprintf(L"planting: %d failure(s)\n", g_failures);
    return g_failures ? 1 : 0;
}
