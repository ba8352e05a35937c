// A program that does nothing but sleep, so that a test can run it under the
// name of a guest tool and look for it in the process list.
//     sleeper.exe [seconds]      (60 when not given; ends by itself)
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    Sleep(static_cast<DWORD>(seconds > 0 ? seconds : 60) * 1000);
    return 0;
}
