// A C++ host as a new user builds it with MinGW from the unpacked zip, by the
// README's own command line: the C++ runtime it uses (std::string, iostream,
// exceptions) must be linked in, since nothing ships its DLLs.  It prints the
// line corvane-vmd prints and exits as corvane-vmd does.
#include <corvane/vmd.h>

#include <iostream>
#include <string>

int main() {
    try {
        DetectVM();
        const std::string name = GetVMName();
        std::cout << (name.empty() ? std::string("no product") : name) << " (type " << GetVMType() << ")\n";
    } catch (const Corvane::CorvaneException& error) {
        std::cerr << "CorvaneVMD: " << error.what() << "\n";
        return 2;
    }
    return GetVMType() > CORVANE_VM_NONE ? 0 : 1;
}
