#pragma once
// CorvaneVMD.dll loaded the way a host loads it: LoadLibraryW, then the five
// plain names through GetProcAddress.

#include <windows.h>

#include <cstdint>
#include <string>

namespace corvane_bench {

class ShippedLibrary {
public:
    // Throws std::runtime_error when the DLL or one of its exports is missing.
    explicit ShippedLibrary(const std::wstring& path);
    ~ShippedLibrary();
    ShippedLibrary(const ShippedLibrary&) = delete;
    ShippedLibrary& operator=(const ShippedLibrary&) = delete;

    void (*DetectVM)() = nullptr;
    int32_t (*GetVMType)() = nullptr;
    const char* (*GetVMName)() = nullptr;
    const char* (*GetLibVersion)() = nullptr;
    void (*SetLogFolder)(const wchar_t*) = nullptr;

private:
    HMODULE module_ = nullptr;
};

// Size of a file in bytes, or 0 when it cannot be read.
uint64_t fileSize(const std::wstring& path);

}  // namespace corvane_bench
