/* A host that loads CorvaneVMD.dll with LoadLibraryW and reaches its five
 * exports with GetProcAddress, so it runs (and says so) where the library is
 * missing.  Usage: corvane-load [path\to\CorvaneVMD.dll] */
#include <windows.h>

#include <stdint.h>
#include <stdio.h>

typedef void (*DetectVMFn)(void);
typedef int32_t (*GetVMTypeFn)(void);
typedef const char* (*GetTextFn)(void);
typedef void (*SetLogFolderFn)(const wchar_t*);

int wmain(int argc, wchar_t** argv) {
    const wchar_t* path = argc > 1 ? argv[1] : L"CorvaneVMD.dll";
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

    setLogFolder(L"");  /* logging stays off; a folder name switches it on */
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
