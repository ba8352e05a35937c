// A program that does nothing but sleep: tools/run-benchmarks.sh runs it
// under the name of a guest tool (vboxservice.exe) to dress a Wine prefix as
// a VirtualBox guest, whose process list the detection then walks.
//     sleeper.exe [seconds]      (60 when not given; ends by itself)
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    Sleep(static_cast<DWORD>(seconds > 0 ? seconds : 60) * 1000);
    return 0;
}
