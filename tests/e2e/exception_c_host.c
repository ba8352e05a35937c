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

#include <corvane/vmd.h>

#include "ReplaceImport.h"

static LONG CALLBACK reportException(EXCEPTION_POINTERS* exception) {
    fprintf(stderr, "exception 0x%08lx raised\n", exception->ExceptionRecord->ExceptionCode);
    fflush(stderr);
    return EXCEPTION_CONTINUE_SEARCH;
}

int main(void) {
    if (!refuseLibraryBstrs()) {
        puts("CorvaneVMD.dll imports no SysAllocString");
        return 2;
    }
    AddVectoredExceptionHandler(1, reportException);
    DetectVM();
    puts("DetectVM returned to the host");
    return 0;
}
