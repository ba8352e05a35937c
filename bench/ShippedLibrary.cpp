#include "bench/ShippedLibrary.h"

#include <stdexcept>

namespace corvane_bench {
namespace {

template <typename Function>
void resolve(HMODULE module, const char* name, Function& function) {
    function = reinterpret_cast<Function>(GetProcAddress(module, name));
    if (!function) throw std::runtime_error(std::string("CorvaneVMD.dll does not export ") + name);
}

}  // namespace

ShippedLibrary::ShippedLibrary(const std::wstring& path) : module_(LoadLibraryW(path.c_str())) {
    if (!module_) throw std::runtime_error("cannot load the DLL (error " + std::to_string(GetLastError()) + ")");
    try {
        resolve(module_, "DetectVM", DetectVM);
        resolve(module_, "GetVMType", GetVMType);
        resolve(module_, "GetVMName", GetVMName);
        resolve(module_, "GetLibVersion", GetLibVersion);
        resolve(module_, "SetLogFolder", SetLogFolder);
    } catch (...) {
        FreeLibrary(module_);
        throw;
    }
}

ShippedLibrary::~ShippedLibrary() { FreeLibrary(module_); }

uint64_t fileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace corvane_bench
