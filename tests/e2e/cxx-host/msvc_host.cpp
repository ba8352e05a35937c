// A C++ host as Visual Studio builds one (here clang for x86_64-pc-windows-msvc
// and lld-link, with no C runtime or Windows SDK): the header's C functions
// reach CorvaneVMD.lib's names from C++.  It prints the line corvane-vmd prints
// and exits as corvane-vmd does.
#include <corvane/vmd.h>

extern "C" {
__declspec(dllimport) void* __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* data, unsigned long size, unsigned long* written,
                                              void* overlapped);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned int code);
}

namespace {

class StandardOutput {
public:
    StandardOutput& operator<<(const char* text) {
        unsigned long size = 0, written = 0;
        while (text[size] != '\0') ++size;
        WriteFile(GetStdHandle(static_cast<unsigned long>(-11) /* STD_OUTPUT_HANDLE */), text, size, &written, nullptr);
        return *this;
    }
    StandardOutput& operator<<(int32_t number) {
        char digits[16];
        char* at = digits + sizeof digits - 1;
        *at = '\0';
        do *--at = static_cast<char>('0' + number % 10);
        while ((number /= 10) > 0);
        return *this << at;
    }
};

}  // namespace

extern "C" void __stdcall HostMain() {
    DetectVM();
    const char* name = GetVMName();
    StandardOutput() << (name[0] != '\0' ? name : "no product") << " (type " << GetVMType() << ")\n";
    ExitProcess(GetVMType() > CORVANE_VM_NONE ? 0 : 1);
}
