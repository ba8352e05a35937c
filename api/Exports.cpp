#include "api/Exports.h"

#include <string>

#include "diagnostics/Logger.h"
#include "vmdetection/VMDetectionManager.h"

using Corvane::utils::vmdetection::VMDetectionManager;

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
