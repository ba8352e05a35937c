/* What the first DetectVM does to a host's process, under real COM: run as
 *   com_host before DLL   the host sets COM up (multithreaded) and its own COM
 *                         security first: detection works in the host's apartment
 *   com_host after DLL    the host calls DetectVM first: its thread is now a
 *                         single-threaded apartment, its own COM security comes
 *                         too late (on Windows: Wine's CoInitializeSecurity
 *                         accepts every call), the System32 modules the checks
 *                         needed stay, no thread is started, and unloading the
 *                         DLL gives the apartment back
 * DLL is CorvaneVMD.dll's full path; the README's "What DetectVM does to your
 * process" says each of these. */
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

static HRESULT setHostSecurity(void) {
    return CoInitializeSecurity(NULL, -1, NULL, NULL, RPC_C_AUTHN_LEVEL_DEFAULT, RPC_C_IMP_LEVEL_IDENTIFY, NULL,
                                EOAC_NONE, NULL);
}

static int threadsOfThisProcess(void) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 thread;
    int count = 0;
    thread.dwSize = sizeof thread;
    for (BOOL more = Thread32First(snapshot, &thread); more; more = Thread32Next(snapshot, &thread))
        count += thread.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return count;
}

static int apartmentIs(APTTYPE wanted) {
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    return SUCCEEDED(CoGetApartmentType(&type, &qualifier)) && type == wanted;
}

static int modulesLoaded(void) {
    static const wchar_t* const modules[] = {L"iphlpapi.dll", L"mpr.dll", L"powrprof.dll"};
    int loaded = 0;
    for (size_t i = 0; i < sizeof modules / sizeof *modules; ++i) loaded += GetModuleHandleW(modules[i]) != NULL;
    return loaded;
}

static int underWine(void) { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != NULL; }

static int detect(HMODULE library) {
    void (*detectVM)(void) = (void (*)(void))(void*)GetProcAddress(library, "DetectVM");
    int32_t (*getVMType)(void) = (int32_t(*)(void))(void*)GetProcAddress(library, "GetVMType");
    detectVM();
    return getVMType();
}

int wmain(int argc, wchar_t** argv) {
    const int before = argc == 3 && wcscmp(argv[1], L"before") == 0;
    if (argc != 3 || (!before && wcscmp(argv[1], L"after") != 0)) return puts("usage: com_host before|after DLL"), 2;

    if (before) {
        expect(CoInitializeEx(NULL, COINIT_MULTITHREADED) == S_OK, "the host enters the multithreaded apartment");
        expect(setHostSecurity() == S_OK, "the host's COM security, set first, is accepted");
        HMODULE library = LoadLibraryW(argv[2]);
        expect(detect(library) > 1, "detection works with the host's apartment and security (WMI answers)");
        expect(apartmentIs(APTTYPE_MTA), "the thread stays in the host's multithreaded apartment");
        FreeLibrary(library);
        CoUninitialize();
    } else {
        const int threads = threadsOfThisProcess();
        expect(modulesLoaded() == 0, "iphlpapi, mpr and powrprof are not loaded before the first DetectVM");
        HMODULE library = LoadLibraryW(argv[2]);
        expect(detect(library) > 1, "detection works (WMI answers)");
        expect(apartmentIs(APTTYPE_MAINSTA) || apartmentIs(APTTYPE_STA), "the calling thread is now an STA");
        expect(CoInitializeEx(NULL, COINIT_MULTITHREADED) == RPC_E_CHANGED_MODE,
               "the host's own multithreaded CoInitializeEx fails with RPC_E_CHANGED_MODE");
        expect(setHostSecurity() == (underWine() ? S_OK : RPC_E_TOO_LATE),
               "the host's CoInitializeSecurity fails with RPC_E_TOO_LATE (Wine's does nothing and succeeds)");
        const int modules = modulesLoaded();
        expect(modules > 0, "the modules the checks needed (on plain Wine iphlpapi) are loaded");
        expect(threadsOfThisProcess() == threads, "no thread was started");
        FreeLibrary(library);
        expect(modulesLoaded() == modules, "those modules stay after the library is unloaded");
        expect(CoInitializeEx(NULL, COINIT_MULTITHREADED) == S_OK, "unloading the library leaves the thread without COM");
        CoUninitialize();
    }
    printf("com_host %ls: %s\n", argv[1], failures ? "failures" : "all checks passed");
    return failures ? 1 : 0;
}
