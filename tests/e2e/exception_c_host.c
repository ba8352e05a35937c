// A C host, linked through the import library, when a C++ exception leaves an
// exported call.  The library's own CorvaneException needs a time stamp that
// cannot be formatted, which no real clock gives; std::bad_alloc leaves the
// same way, so the DLL's BSTR allocation is made to fail (its import of
// SysAllocString answers NULL) and DetectVM raises it.  The host sees the
// GCC exception code 0x20474343 pass through its frames; nothing returns.
// With MinGW's C runtime, whose top-level filter lets GCC exceptions go on,
// the DLL's C++ runtime then ends the process (std::terminate, abort: exit
// status 3).  Built with NO_C_RUNTIME, as an MSVC host is for this purpose,
// the exception reaches the top unhandled and ends the process with its code.
#include <corvane/vmd.h>

#include "ReplaceImport.h"  // windows.h

// Straight to the handle: the bare host has no C runtime's streams.
static void say(const char* format, DWORD code) {
    char line[80];
    DWORD written;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, (DWORD)wsprintfA(line, format, code), &written, NULL);
}

static LONG CALLBACK reportException(EXCEPTION_POINTERS* exception) {
    say("exception 0x%08lx raised\n", exception->ExceptionRecord->ExceptionCode);
    return EXCEPTION_CONTINUE_SEARCH;
}

static int run(void) {
    if (!refuseLibraryBstrs()) {
        say("CorvaneVMD.dll imports no SysAllocString (%lu)\n", 0);
        return 2;
    }
    AddVectoredExceptionHandler(1, reportException);
    DetectVM();
    say("DetectVM returned to the host (%lu)\n", 0);
    return 0;
}

#ifdef NO_C_RUNTIME
// Like an MSVC host: no MinGW C runtime, so no top-level filter that knows
// GCC's exceptions; the exception ends the process unhandled.  (A filter or
// __except of the host's that handles it makes Windows unwind the DLL's GCC
// frames; under Wine that unwinding never ends.)
void __stdcall HostMain(void) { ExitProcess((UINT)run()); }
#else
int main(void) { return run(); }
#endif
