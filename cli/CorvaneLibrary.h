#pragma once
// CorvaneVMD.dll as a host sees it: loaded from the folder of corvane-vmd.exe
// and reached only through its five exports.

#include <windows.h>

#include <cstdint>
#include <string>

namespace Corvane::cli {

class CorvaneLibrary {
public:
    // Loads CorvaneVMD.dll from the folder of the running executable and
    // resolves the five exports.  Throws ToolError naming the path and the
    // Windows error when it cannot.
    static CorvaneLibrary loadBesideExecutable();

    // Loads the DLL at `path`.
    static CorvaneLibrary load(const std::wstring& path);

    CorvaneLibrary(CorvaneLibrary&& other) noexcept;
    CorvaneLibrary& operator=(CorvaneLibrary&&) = delete;
    CorvaneLibrary(const CorvaneLibrary&) = delete;
    CorvaneLibrary& operator=(const CorvaneLibrary&) = delete;
    ~CorvaneLibrary();

    void detectVM() const { detectVM_(); }
    int32_t vmType() const { return getVMType_(); }
    std::string vmName() const { return getVMName_(); }
    std::string libVersion() const { return getLibVersion_(); }
    void setLogFolder(const std::wstring& folder) const { setLogFolder_(folder.c_str()); }

    const std::wstring& path() const { return path_; }

private:
    CorvaneLibrary() = default;

    std::wstring path_;
    HMODULE module_ = nullptr;
    void (*detectVM_)() = nullptr;
    int32_t (*getVMType_)() = nullptr;
    const char* (*getVMName_)() = nullptr;
    const char* (*getLibVersion_)() = nullptr;
    void (*setLogFolder_)(const wchar_t*) = nullptr;
};

// The folder of the running executable, with a trailing backslash.
std::wstring executableFolder();

}  // namespace Corvane::cli
