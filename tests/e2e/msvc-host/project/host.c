/* A host built as Visual Studio builds one: Microsoft's object format and
 * linker, CorvaneVMD.lib, and no C runtime (its own entry point; kernel32
 * through an import library made from kernel32.def).  It prints the line
 * corvane-vmd prints and exits as corvane-vmd does: 0 when a product was
 * recognised, 1 when none.  Also built as C++ (tests/e2e/cxx-host), where the
 * header's C functions must reach CorvaneVMD.lib's names from C++ code. */
#include <corvane/vmd.h>

#ifdef __cplusplus
extern "C" { /* the host's own declarations and entry point; the header declares its own */
#endif

__declspec(dllimport) void* __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* data, unsigned long size, unsigned long* written,
                                              void* overlapped);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned int code);

static void print(const char* text) {
    unsigned long size = 0, written = 0;
    while (text[size] != '\0') ++size;
    WriteFile(GetStdHandle((unsigned long)-11 /* STD_OUTPUT_HANDLE */), text, size, &written, 0);
}

void __stdcall HostMain(void) {
    char number[16];
    char* digits = number + sizeof number - 1;
    int32_t type;
    DetectVM();
    type = GetVMType();
    *digits = '\0';
    do *--digits = (char)('0' + type % 10);
    while ((type /= 10) > 0);

    print(GetVMName()[0] != '\0' ? GetVMName() : "no product");
    print(" (type ");
    print(digits);
    print(")\n");
    ExitProcess(GetVMType() > CORVANE_VM_NONE ? 0 : 1);
}
#ifdef __cplusplus
}
#endif
