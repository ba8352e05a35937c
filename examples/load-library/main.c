/* A host that loads CorvaneVMD.dll with LoadLibraryW and reaches its five
 * exports with GetProcAddress, so it runs (and says so) where the library is
 * missing.  It loads the DLL by full path, never by bare name, after making
 * every later load of the process skip the current folder and PATH.
 * Usage: corvane-load [full\path\to\CorvaneVMD.dll]; without one, the
 * CorvaneVMD.dll beside corvane-load.exe. */
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0602 /* SetDefaultDllDirectories: Windows 8, or 7 with KB2533623 */
#endif
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <wchar.h>

typedef void (*DetectVMFn)(void);
typedef int32_t (*GetVMTypeFn)(void);
typedef const char* (*GetTextFn)(void);
typedef void (*SetLogFolderFn)(const wchar_t*);

int wmain(int argc, wchar_t** argv) {
    /* First, before anything loads a DLL: System32, the application's folder and
     * folders added with AddDllDirectory only. */
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);

    /* The full path of the CorvaneVMD.dll beside this executable. */
    static const wchar_t name[] = L"CorvaneVMD.dll";
    wchar_t beside[MAX_PATH];
    const DWORD length = GetModuleFileNameW(NULL, beside, MAX_PATH);
    wchar_t* folderEnd = length > 0 && length < MAX_PATH ? wcsrchr(beside, L'\\') : NULL;
    if (!folderEnd || (size_t)(folderEnd + 1 - beside) + sizeof name / sizeof *name > MAX_PATH) {
        fprintf(stderr, "cannot tell this program's folder (error %lu)\n", GetLastError());
        return 2;
    }
    wcscpy(folderEnd + 1, name);

    const wchar_t* path = argc > 1 ? argv[1] : beside;
    HMODULE library = LoadLibraryW(path);
    if (!library) {
        fprintf(stderr, "cannot load %ls (error %lu)\n", path, GetLastError());
        return 2;
    }

    /* GetProcAddress returns a generic FARPROC; each is cast to its own type. */
    DetectVMFn detectVM = (DetectVMFn)(void*)GetProcAddress(library, "DetectVM");
    GetVMTypeFn getVMType = (GetVMTypeFn)(void*)GetProcAddress(library, "GetVMType");
    GetTextFn getVMName = (GetTextFn)(void*)GetProcAddress(library, "GetVMName");
    GetTextFn getLibVersion = (GetTextFn)(void*)GetProcAddress(library, "GetLibVersion");
    SetLogFolderFn setLogFolder = (SetLogFolderFn)(void*)GetProcAddress(library, "SetLogFolder");
    if (!detectVM || !getVMType || !getVMName || !getLibVersion || !setLogFolder) {
        fprintf(stderr, "%ls lacks an export of CorvaneVMD\n", path);
        FreeLibrary(library);
        return 2;
    }

    setLogFolder(L""); /* logging stays off; a folder name switches it on */
    detectVM();
    const int32_t type = getVMType();
    printf("CorvaneVMD %s: ", getLibVersion());
    if (type > 1) {
        printf("%s (type %d)\n", getVMName(), (int)type);
    } else {
        printf("no virtual machine recognised (type %d)\n", (int)type);
    }

    /* The name points into the library: done with it before unloading. */
    FreeLibrary(library);
    return type > 1 ? 0 : 1;
}
