#include "cli/CorvaneLibrary.h"

#include <utility>
#include <vector>

#include "cli/ToolError.h"
#include "cli/Utf8.h"
#include "cli/WindowsError.h"

namespace Corvane::cli {
namespace {

constexpr const wchar_t* kDllName = L"CorvaneVMD.dll";

template <typename Function>
void resolve(HMODULE module, const char* name, Function& function, const std::wstring& path) {
    function = reinterpret_cast<Function>(::GetProcAddress(module, name));
    if (!function) throw ToolError(toUtf8(path) + " does not export " + name + ": it is not a CorvaneVMD library");
}

}  // namespace

std::wstring executableFolder() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            throw ToolError("cannot tell where corvane-vmd.exe is: " + describeWindowsError(::GetLastError()));
        if (length < buffer.size()) {
            std::wstring path(buffer.data(), length);
            return path.substr(0, path.find_last_of(L"\\/") + 1);
        }
        buffer.resize(buffer.size() * 2);
    }
}

CorvaneLibrary CorvaneLibrary::loadBesideExecutable() { return load(executableFolder() + kDllName); }

CorvaneLibrary CorvaneLibrary::load(const std::wstring& path) {
    CorvaneLibrary library;
    library.path_ = path;
    library.module_ = ::LoadLibraryW(path.c_str());
    if (!library.module_) {
        const DWORD error = ::GetLastError();
        const bool missing = ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
        throw ToolError("cannot load " + toUtf8(path) + ": " +
                        (missing ? "it is not there; CorvaneVMD.dll must sit beside corvane-vmd.exe"
                                 : describeWindowsError(error)));
    }
    resolve(library.module_, "DetectVM", library.detectVM_, path);
    resolve(library.module_, "GetVMType", library.getVMType_, path);
    resolve(library.module_, "GetVMName", library.getVMName_, path);
    resolve(library.module_, "GetLibVersion", library.getLibVersion_, path);
    resolve(library.module_, "SetLogFolder", library.setLogFolder_, path);
    return library;
}

CorvaneLibrary::CorvaneLibrary(CorvaneLibrary&& other) noexcept
    : path_(std::move(other.path_)),
      module_(std::exchange(other.module_, nullptr)),
      detectVM_(other.detectVM_),
      getVMType_(other.getVMType_),
      getVMName_(other.getVMName_),
      getLibVersion_(other.getLibVersion_),
      setLogFolder_(other.setLogFolder_) {}

// The module stays loaded until the process ends: the library's manager is
// torn down at process exit, as in any host, not while the tool still runs.
CorvaneLibrary::~CorvaneLibrary() = default;

}  // namespace Corvane::cli
