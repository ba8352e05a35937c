/* A host of CorvaneVMD.dll linked through its import library: one detection,
 * its result, and an exit status like corvane-vmd's (0: a product was
 * recognised, 1: none).  With an argument, the library logs into that folder. */
#include <stdio.h>
#include <stdlib.h>

#include <corvane/vmd.h>

int main(int argc, char** argv) {
    if (argc > 1) {
        /* SetLogFolder takes a wide string. */
        wchar_t folder[1024];
        if (mbstowcs(folder, argv[1], sizeof folder / sizeof folder[0]) == (size_t)-1) return 2;
        folder[sizeof folder / sizeof folder[0] - 1] = L'\0';
        SetLogFolder(folder);
    }

    DetectVM();
    const int32_t type = GetVMType();
    /* Copy the name if it is needed after the next DetectVM. */
    const char* name = GetVMName();

    printf("CorvaneVMD %s: ", GetLibVersion());
    if (type > CORVANE_VM_NONE) {
        printf("%s (type %d)\n", name, (int)type);
        return 0;
    }
    printf("no virtual machine recognised (type %d)\n", (int)type);
    return 1;
}
