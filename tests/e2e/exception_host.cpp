// A C++ host built with the library's toolchain, linked through its import
// library: CorvaneException, made by the DLL's exported constructor with the
// DLL's virtual table and type information, is caught by its own type; and an
// exception the DLL's own runtime raises inside DetectVM is caught by its type.
#include <cstdio>
#include <cstring>
#include <new>

#include "ReplaceImport.h"
#include "corvane/vmd.h"

int main() {
    int failures = 0;
    auto expect = [&](bool condition, const char* what) {
        if (!condition) std::printf("FAILED: %s\n", what), ++failures;
    };
    try {
        throw Corvane::CorvaneException("time stamp", Corvane::LogTimestampUnformattable);
    } catch (const Corvane::CorvaneException& e) {
        expect(e.getCode() == 3, "getCode is 3");
        expect(std::strcmp(e.what(), "time stamp") == 0, "what is the message");
        Corvane::CorvaneException copy = e;
        expect(copy.getCode() == 3, "a copy keeps the code");
    } catch (...) {
        expect(false, "caught by its type");
    }
    try {
        throw Corvane::CorvaneException("as runtime_error", Corvane::LogTimestampUnformattable);
    } catch (const std::runtime_error& e) {
        expect(std::strcmp(e.what(), "as runtime_error") == 0, "caught as std::runtime_error");
    }
    expect(refuseLibraryBstrs(), "the DLL's import of SysAllocString is replaced");
    try {
        DetectVM();
        expect(false, "DetectVM lets std::bad_alloc out");
    } catch (const std::bad_alloc&) {
    }
    std::printf("%s\n", failures ? "exception_host: failures" : "exception_host: all checks passed");
    return failures ? 1 : 0;
}
