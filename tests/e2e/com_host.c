// What the first DetectVM does to a host's process, under real COM:
//   com_host before DLL   the host sets COM up (multithreaded) and its own COM
//                         security first: detection works in the host's apartment
//   com_host after DLL    the host calls DetectVM first: its thread is now a
//                         single-threaded apartment, its own COM security comes
//                         too late (on Windows: Wine's CoInitializeSecurity
//                         accepts every call), the System32 modules the checks
//                         needed stay, no thread is started, and unloading the
//                         DLL gives the apartment back
// DLL is CorvaneVMD.dll's full path; the README's "What DetectVM does to your
// process" says each of these.
#include <windows.h>
#include <objbase.h>
#include <tlhelp32.h>

#include <stdint.h>
#include <stdio.h>
#include <wchar.h>

static int failures;

static void expect(int condition, const char* what) {
    if (!condition) printf("FAILED: %s\n", what), ++failures;
}

static int threadsOfThisProcess(void) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 thread = {.dwSize = sizeof thread};
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &thread); more; more = Thread32Next(snapshot, &thread))
        count += thread.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return count;
}

static APTTYPE apartment(void) {
    APTTYPE type = APTTYPE_CURRENT;
    APTTYPEQUALIFIER qualifier;
    CoGetApartmentType(&type, &qualifier);
    return type;
}

static int modulesLoaded(void) {
    return (GetModuleHandleW(L"iphlpapi.dll") != NULL) + (GetModuleHandleW(L"mpr.dll") != NULL) +
           (GetModuleHandleW(L"powrprof.dll") != NULL);
}

static HRESULT setHostSecurity(void) {
    return CoInitializeSecurity(NULL, -1, NULL, NULL, RPC_C_AUTHN_LEVEL_DEFAULT, RPC_C_IMP_LEVEL_IDENTIFY, NULL,
                                EOAC_NONE, NULL);
}

int wmain(int argc, wchar_t** argv) {
    const int before = argc == 3 && wcscmp(argv[1], L"before") == 0;
    if (argc != 3 || (!before && wcscmp(argv[1], L"after") != 0)) return puts("usage: com_host before|after DLL"), 2;
    const int threads = threadsOfThisProcess();
    expect(modulesLoaded() == 0, "iphlpapi, mpr and powrprof are not loaded before the first DetectVM");
    if (before) {
        expect(CoInitializeEx(NULL, COINIT_MULTITHREADED) == S_OK, "the host enters the multithreaded apartment");
        expect(setHostSecurity() == S_OK, "the host's COM security, set first, is accepted");
    }

    HMODULE library = LoadLibraryW(argv[2]);
    void (*detectVM)(void) = (void (*)(void))(void*)GetProcAddress(library, "DetectVM");
    int32_t (*getVMType)(void) = (int32_t(*)(void))(void*)GetProcAddress(library, "GetVMType");
    detectVM();
    expect(getVMType() > 1, "detection works in this apartment (WMI answers)");
    expect(apartment() == (before ? APTTYPE_MTA : APTTYPE_MAINSTA), "the thread is in the host's MTA, or an STA");
    expect(modulesLoaded() > 0, "the modules the checks needed (on plain Wine iphlpapi) are loaded");
    expect(threadsOfThisProcess() == threads, "no thread was started");
    if (!before) {
        const int wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != NULL;
        expect(CoInitializeEx(NULL, COINIT_MULTITHREADED) == RPC_E_CHANGED_MODE,
               "the host's own multithreaded CoInitializeEx fails with RPC_E_CHANGED_MODE");
        expect(setHostSecurity() == (wine ? S_OK : RPC_E_TOO_LATE),
               "the host's CoInitializeSecurity fails with RPC_E_TOO_LATE (Wine's does nothing and succeeds)");
    }
    const int modules = modulesLoaded();
    FreeLibrary(library);
    expect(modulesLoaded() == modules, "those modules stay after the library is unloaded");
    expect(CoInitializeEx(NULL, COINIT_MULTITHREADED) == (before ? S_FALSE : S_OK),
           "unloading the library leaves the thread as the host had it: in its MTA, or without COM");
    printf("com_host %ls: %s\n", argv[1], failures ? "failures" : "all checks passed");
    return failures ? 1 : 0;
}
