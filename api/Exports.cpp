#include "api/Exports.h"

#include <string>

#include "diagnostics/Logger.h"
#include "vmdetection/VMDetectionManager.h"

using Corvane::utils::vmdetection::VMDetectionManager;

extern "C" {

void DetectVM() { VMDetectionManager::instance().runDetection(); }

int32_t GetVMType() { return VMDetectionManager::instance().resultType(); }

const char* GetVMName() { return VMDetectionManager::instance().resultName(); }

const char* GetLibVersion() {
    static const std::string version = "1.0.0.0";
    return version.c_str();
}

// A null folder switches logging off, like an empty one.
void SetLogFolder(const wchar_t* folder) { Corvane::Logger::setFolder(folder ? std::wstring(folder) : std::wstring()); }

}  // extern "C"
