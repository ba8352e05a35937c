#include "api/Exports.h"

#include <string>

#include "diagnostics/Logger.h"
#include "vmdetection/VMDetectionManager.h"

using Corvane::utils::vmdetection::VMDetectionManager;
using Corvane::utils::vmdetection::VMType;

// The codes hosts compare GetVMType with are the detectors' own.
static_assert(CORVANE_VM_UNDEFINED == static_cast<int32_t>(VMType::Undefined));
static_assert(CORVANE_VM_NONE == static_cast<int32_t>(VMType::None));
static_assert(CORVANE_VM_PARALLELS == static_cast<int32_t>(VMType::Parallels));
static_assert(CORVANE_VM_QEMU == static_cast<int32_t>(VMType::Qemu));
static_assert(CORVANE_VM_VIRTUALBOX == static_cast<int32_t>(VMType::VirtualBox));
static_assert(CORVANE_VM_VIRTUALPC == static_cast<int32_t>(VMType::VirtualPC));
static_assert(CORVANE_VM_VMWARE == static_cast<int32_t>(VMType::VMWare));
static_assert(CORVANE_VM_WINE == static_cast<int32_t>(VMType::Wine));
static_assert(CORVANE_VM_XEN == static_cast<int32_t>(VMType::Xen));

extern "C" {

void DetectVM() { VMDetectionManager::instance().runDetection(); }

int32_t GetVMType() { return VMDetectionManager::instance().resultType(); }

const char* GetVMName() { return VMDetectionManager::instance().resultName(); }

// Constant data: the same pointer on every call, valid while the DLL is loaded.
const char* GetLibVersion() {
    static constexpr char version[] = "1.0.0.0";
    return version;
}

// A null folder switches logging off, like an empty one.
void SetLogFolder(const wchar_t* folder) { Corvane::Logger::setFolder(folder ? std::wstring(folder) : std::wstring()); }

}  // extern "C"
