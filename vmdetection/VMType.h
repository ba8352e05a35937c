#pragma once
#include <cstdint>

namespace Corvane::utils::vmdetection {

// What GetVMType reports.  9 is not assigned.
enum class VMType : int32_t {
    Undefined = 0,  // no detection yet
    None = 1,       // the last detection recognised no product
    Parallels = 2,
    Qemu = 3,
    VirtualBox = 4,
    VirtualPC = 5,  // Hyper-V or Virtual PC
    VMWare = 6,
    Wine = 7,
    Xen = 8,
    UnknownVM = 10,  // general signs only; never reported to the host
};

}  // namespace Corvane::utils::vmdetection
