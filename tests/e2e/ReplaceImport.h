// Test hosts: a module's import pointed elsewhere.  Here it makes CorvaneVMD.dll's
// BSTR allocations fail, so that an exported call raises std::bad_alloc inside
// the DLL: the DLL's import slot that holds OLEAUT32.dll!SysAllocString is
// pointed at a function that answers NULL.
#pragma once
#include <windows.h>
#include <oleauto.h>

// Points every slot of the module's import address table that holds `real`
// at `replacement`; 1 when there was one.
static inline int replaceImport(HMODULE module, FARPROC real, FARPROC replacement) {
    BYTE* base = (BYTE*)module;
    IMAGE_NT_HEADERS* headers = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IAT];
    FARPROC* slots = (FARPROC*)(base + imports.VirtualAddress);
    int replaced = 0;
    for (size_t i = 0; real && i < imports.Size / sizeof *slots; ++i) {
        DWORD protection;
        if (slots[i] != real) continue;
        VirtualProtect(&slots[i], sizeof *slots, PAGE_READWRITE, &protection);
        slots[i] = replacement;
        replaced = VirtualProtect(&slots[i], sizeof *slots, protection, &protection);
    }
    return replaced;
}

static inline BSTR WINAPI refuseBstr(const OLECHAR* text) { return (void)text, (BSTR)NULL; }

// 1 when the DLL's import was replaced.
static inline int refuseLibraryBstrs(void) {
    return replaceImport(GetModuleHandleW(L"CorvaneVMD.dll"),
                         GetProcAddress(GetModuleHandleW(L"oleaut32.dll"), "SysAllocString"),
                         (FARPROC)(void*)refuseBstr);
}
