/* A C host, linked through the import library, when a C++ exception leaves an
 * exported call.  The library's own CorvaneException needs a time stamp that
 * cannot be formatted, which no real clock gives; std::bad_alloc leaves the
 * same way, so the DLL's BSTR allocation is made to fail (its import of
 * SysAllocString answers NULL) and DetectVM raises it.  The host sees the
 * GCC exception code 0x20474343 pass through its frames, then the DLL's C++
 * runtime ends the process (std::terminate, abort: exit status 3).  Nothing
 * returns to the host. */
#include <windows.h>
#include <oleauto.h>

#include <stdio.h>
#include <string.h>

#include <corvane/vmd.h>

static BSTR WINAPI refuseBstr(const OLECHAR* text) {
    (void)text;
    return NULL;
}

static LONG CALLBACK reportException(EXCEPTION_POINTERS* exception) {
    fprintf(stderr, "exception 0x%08lx raised\n", exception->ExceptionRecord->ExceptionCode);
    fflush(stderr);
    return EXCEPTION_CONTINUE_SEARCH;
}

/* Points the module's import of dll!name at replacement. */
static int replaceImport(HMODULE module, const char* dll, const char* name, void* replacement) {
    BYTE* base = (BYTE*)module;
    IMAGE_NT_HEADERS* headers = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
    IMAGE_IMPORT_DESCRIPTOR* import = (IMAGE_IMPORT_DESCRIPTOR*)(
        base + headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    for (; import->Name; ++import) {
        IMAGE_THUNK_DATA* names = (IMAGE_THUNK_DATA*)(base + import->OriginalFirstThunk);
        IMAGE_THUNK_DATA* slots = (IMAGE_THUNK_DATA*)(base + import->FirstThunk);
        if (_stricmp((const char*)(base + import->Name), dll) != 0) continue;
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

int main(void) {
    if (!replaceImport(GetModuleHandleW(L"CorvaneVMD.dll"), "OLEAUT32.dll", "SysAllocString", (void*)refuseBstr)) {
        puts("CorvaneVMD.dll imports no SysAllocString");
        return 2;
    }
    AddVectoredExceptionHandler(1, reportException);
    DetectVM();
    puts("DetectVM returned to the host");
    return 0;
}
