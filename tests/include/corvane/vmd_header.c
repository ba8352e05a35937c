/* Compiled as C and as C++ by HeaderCompiles.cmake: the header alone must
 * declare everything a host calls. */
#include <corvane/vmd.h>

int corvane_header_use(const wchar_t* folder) {
    const char* name;
    SetLogFolder(folder);
    DetectVM();
    name = GetVMName();
    return GetVMType() > CORVANE_VM_NONE && name[0] != '\0' && GetLibVersion() != NULL;
}
