# Cross-compiling for 64-bit Windows with Debian's clang and lld, against the
# same mingw-w64 headers, import libraries and libstdc++ that the GCC
# toolchains use: posix threads (mingw-w64-x86_64.cmake) unless the including
# file asks for the win32 model, as clang-mingw-w64-x86_64-win32.cmake does for
# the shipped DLL.
if(NOT DEFINED CORVANE_MINGW_THREAD_MODEL)
    set(CORVANE_MINGW_THREAD_MODEL posix)
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET x86_64-w64-mingw32)
set(CMAKE_CXX_COMPILER_TARGET x86_64-w64-mingw32)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# clang does not find Debian's GCC runtime on its own: the folder is named
# "12-posix" or "12-win32", which its version probe does not read as a version.
set(CORVANE_MINGW_GCC_DIR /usr/lib/gcc/x86_64-w64-mingw32/12-${CORVANE_MINGW_THREAD_MODEL}
    CACHE PATH "The mingw-w64 GCC runtime (libstdc++ headers, libgcc) that clang builds against")
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${CORVANE_MINGW_GCC_DIR}/include/c++
    ${CORVANE_MINGW_GCC_DIR}/include/c++/x86_64-w64-mingw32 ${CORVANE_MINGW_GCC_DIR}/include/c++/backward)
# A `#pragma GCC diagnostic` may name a warning that only GCC has (GCC 12's
# -Wrestrict false positive, GCC bug 105651); clang leaves those to GCC, which
# still rejects a misspelt name.
set(CMAKE_C_FLAGS_INIT -Wno-unknown-warning-option)
set(CMAKE_CXX_FLAGS_INIT -Wno-unknown-warning-option)
# lld links the mingw-w64 way (the GNU-style options the build uses); with posix
# threads -pthread adds winpthreads, which GCC's posix driver adds by itself.
set(corvane_thread_flag "")
if(CORVANE_MINGW_THREAD_MODEL STREQUAL "posix")
    set(corvane_thread_flag -pthread)
endif()
foreach(kind EXE SHARED MODULE)
    set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld ${corvane_thread_flag} -L${CORVANE_MINGW_GCC_DIR}")
endforeach()
# CMake asks GNU ld, not lld, whether the linker knows --push-state; lld does
# not, so whole archives are bracketed with --whole-archive/--no-whole-archive.
set(_CMAKE_LINKER_PUSHPOP_STATE_SUPPORTED FALSE CACHE INTERNAL "lld has no --push-state")

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
