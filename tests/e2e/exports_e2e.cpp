// Loads the shipped DLL as a host would and checks its exports' results (their
// names are checked in the binary by tools/check-dll.sh).
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

int failures = 0;

void expect(bool condition, const char* what) {
    if (!condition) {
        std::printf("FAILED: %s\n", what);
        ++failures;
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const wchar_t* dllPath = argc > 1 ? argv[1] : L"CorvaneVMD.dll";
    HMODULE dll = LoadLibraryW(dllPath);
    if (!dll) {
        std::printf("FAILED: cannot load %ls (error %lu)\n", dllPath, GetLastError());
        return 1;
    }

    using VoidFn = void (*)();
    using TypeFn = int (*)();
    using TextFn = const char* (*)();
    auto detect = reinterpret_cast<VoidFn>(GetProcAddress(dll, "DetectVM"));
    auto type = reinterpret_cast<TypeFn>(GetProcAddress(dll, "GetVMType"));
    auto name = reinterpret_cast<TextFn>(GetProcAddress(dll, "GetVMName"));
    auto version = reinterpret_cast<TextFn>(GetProcAddress(dll, "GetLibVersion"));
    expect(detect && type && name && version, "the functions resolve");
    if (!(detect && type && name && version)) return 1;

    expect(type() == 0, "type is Undefined (0) before DetectVM");
    expect(std::strcmp(name(), "") == 0, "name is empty before DetectVM");
    const char* firstVersion = version();
    expect(std::strcmp(firstVersion, "1.0.0.0") == 0, "version text is 1.0.0.0");
    expect(version() == firstVersion, "GetLibVersion returns the same pointer");

    // Plain Wine is VirtualBox to the rules: docs/design-notes.md says why.
    detect();
    std::printf("after DetectVM: %d \"%s\"\n", type(), name());
    expect(type() == 4, "plain Wine gives VirtualBox (4)");
    expect(std::strcmp(name(), "VirtualBox") == 0, "plain Wine gives the name VirtualBox");

    FreeLibrary(dll);
    std::printf("%s\n", failures == 0 ? "exports_e2e: all checks passed" : "exports_e2e: failures");
    return failures == 0 ? 0 : 1;
}
