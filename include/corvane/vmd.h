/* CorvaneVMD: is this process running in a virtual machine guest, or under Wine?
 *
 *   DetectVM();                       run one detection
 *   GetVMType(), GetVMName()          read its result (see CORVANE_VM_* below)
 *
 * Calls must not overlap: the host serialises DetectVM, GetVMType, GetVMName
 * and SetLogFolder.  The name pointer is valid until the next DetectVM.
 *
 * C89 and later, C++98 and later, any Windows compiler for x86-64, hosted or
 * freestanding: the C part needs only <stddef.h> (wchar_t) and <stdint.h>.
 */
#ifndef CORVANE_VMD_H
#define CORVANE_VMD_H

#if !defined(_WIN64)
#error "CorvaneVMD.dll is 64-bit (x86-64): build this host as a 64-bit Windows program."
#endif

#include <stddef.h>
#include <stdint.h>

#if defined(CORVANE_VMD_BUILDING)
#define CORVANE_VMD_API
#else
#define CORVANE_VMD_API __declspec(dllimport)
#endif

/* Codes GetVMType returns. */
#define CORVANE_VM_UNDEFINED 0 /* no detection has run yet */
#define CORVANE_VM_NONE 1      /* the last detection recognised no product */
#define CORVANE_VM_PARALLELS 2
#define CORVANE_VM_QEMU 3
#define CORVANE_VM_VIRTUALBOX 4
#define CORVANE_VM_VIRTUALPC 5 /* Hyper-V or Virtual PC */
#define CORVANE_VM_VMWARE 6
#define CORVANE_VM_WINE 7
#define CORVANE_VM_XEN 8

#ifdef __cplusplus
extern "C" {
#endif

/* Runs one detection; the previous result is discarded first. */
CORVANE_VMD_API void DetectVM(void);
/* A CORVANE_VM_* code: 0 before the first DetectVM. */
CORVANE_VMD_API int32_t GetVMType(void);
/* "VirtualBox", "VMWare", "Parallels", "Qemu", "Hyper-V", "Wine", "Xen", or "" when none. */
CORVANE_VMD_API const char* GetVMName(void);
/* "1.0.0.0"; the same pointer on every call. */
CORVANE_VMD_API const char* GetLibVersion(void);
/* Appends log entries to CorvaneLog.txt in this folder; "" or NULL switches logging off. */
CORVANE_VMD_API void SetLogFolder(const wchar_t* folder);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* The exception class's members are exported with GCC's C++ names and built
 * against libstdc++, so only a hosted MinGW C++ host can use them; other hosts
 * (MSVC, clang-cl) see the C functions alone.  C++98 hosts get the same class
 * without the C++11 members (the move operations), which they cannot call. */
#if defined(__cplusplus) && defined(__MINGW32__) && __STDC_HOSTED__
#include <stdexcept>
#include <string>

namespace Corvane {

#if __cplusplus >= 201103L
enum CorvaneErrorCode : int32_t {
#else
enum CorvaneErrorCode { /* int, 32 bits wide as int32_t */
#endif
    LogTimestampUnformattable = 3 /* the time stamp of a log entry could not be formatted */
};

/* Raised inside the library only when a log entry's time stamp cannot be
 * formatted, and caught nowhere in it: it leaves the exported call that was
 * logging.  What each kind of host then sees is in the README ("Linking"):
 * a MinGW C++ host can catch it by this type. */
class CORVANE_VMD_API CorvaneException : public std::runtime_error {
public:
    CorvaneException(const std::string& message, CorvaneErrorCode code);
    CorvaneException(const CorvaneException& other);
    CorvaneException& operator=(const CorvaneException& other);
#if __cplusplus >= 201103L
    CorvaneException(CorvaneException&& other) noexcept;
    CorvaneException& operator=(CorvaneException&& other) noexcept;
    ~CorvaneException() override;
#else
    ~CorvaneException() throw();
#endif

    CorvaneErrorCode getCode() const;

private:
    CorvaneErrorCode code;
};

} /* namespace Corvane */
#endif /* __cplusplus && __MINGW32__ && __STDC_HOSTED__ */

#endif /* CORVANE_VMD_H */
