// Loads the shipped DLL as a host would and checks its exports' results (their
// names are checked in the binary by tools/check-dll.sh).
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench/ShippedLibrary.h"

int wmain(int argc, wchar_t** argv) {
    corvane_bench::ShippedLibrary dll(argc > 1 ? argv[1] : L"CorvaneVMD.dll");
    int failures = 0;
    const auto expect = [&](bool condition, const char* what) {
        if (!condition) std::printf("FAILED: %s\n", what), ++failures;
    };
    expect(dll.GetVMType() == 0, "type is Undefined (0) before DetectVM");
    expect(std::strcmp(dll.GetVMName(), "") == 0, "name is empty before DetectVM");
    const char* firstVersion = dll.GetLibVersion();
    expect(std::strcmp(firstVersion, "1.0.0.0") == 0, "version text is 1.0.0.0");
    expect(dll.GetLibVersion() == firstVersion, "GetLibVersion returns the same pointer");

    // A null log folder switches the log off: the detection makes no folder.  The
    // folder is this run's alone, gone before and after, so a failed run fails no other.
    const std::filesystem::path logFolder = L"C:\\corvane-log-off-" + std::to_wstring(GetCurrentProcessId());
    std::filesystem::remove_all(logFolder);
    dll.SetLogFolder(logFolder.c_str());
    dll.SetLogFolder(nullptr);

    // Plain Wine is VirtualBox to the rules: docs/design-notes.md says why.
    dll.DetectVM();
    expect(!std::filesystem::exists(logFolder), "a null log folder switches the log off");
    std::filesystem::remove_all(logFolder);
    std::printf("after DetectVM: %d \"%s\"\n", dll.GetVMType(), dll.GetVMName());
    expect(dll.GetVMType() == 4, "plain Wine gives VirtualBox (4)");
    expect(std::strcmp(dll.GetVMName(), "VirtualBox") == 0, "plain Wine gives the name VirtualBox");
    std::printf("%s\n", failures == 0 ? "exports_e2e: all checks passed" : "exports_e2e: failures");
    return failures == 0 ? 0 : 1;
}
