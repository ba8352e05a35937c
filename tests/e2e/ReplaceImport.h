// Test hosts: make CorvaneVMD.dll's BSTR allocations fail, so that an exported
// call raises std::bad_alloc inside the DLL, by pointing the DLL's import of
// OLEAUT32.dll!SysAllocString at a function that answers NULL.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string.h>

static inline BSTR WINAPI refuseBstr(const OLECHAR* text) {
    (void)text;
    return NULL;
}

// Points the module's import of dll!name at replacement.
static inline int replaceImport(HMODULE module, const char* dll, const char* name, void* replacement) {
    BYTE* base = (BYTE*)module;
    IMAGE_NT_HEADERS* headers = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
    IMAGE_IMPORT_DESCRIPTOR* descriptor = (IMAGE_IMPORT_DESCRIPTOR*)(
        base + headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    for (; descriptor->Name; ++descriptor) {
        IMAGE_THUNK_DATA* names = (IMAGE_THUNK_DATA*)(base + descriptor->OriginalFirstThunk);
        IMAGE_THUNK_DATA* slots = (IMAGE_THUNK_DATA*)(base + descriptor->FirstThunk);
        if (_stricmp((const char*)(base + descriptor->Name), dll) != 0) continue;
        for (; names->u1.AddressOfData; ++names, ++slots) {
            DWORD protection;
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
                strcmp((const char*)((IMAGE_IMPORT_BY_NAME*)(base + names->u1.AddressOfData))->Name, name) != 0)
                continue;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection);
            slots->u1.Function = (ULONG_PTR)replacement;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
            return 1;
        }
    }
    return 0;
}

// 1 when the DLL's import was replaced.
static inline int refuseLibraryBstrs(void) {
    return replaceImport(GetModuleHandleW(L"CorvaneVMD.dll"), "OLEAUT32.dll", "SysAllocString", (void*)refuseBstr);
}
