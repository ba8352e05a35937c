# Cross-compiling for 64-bit Windows with mingw-w64: posix threads, unless the
# including file asks for the win32 model (mingw-w64-x86_64-win32.cmake, the
# shipped DLL's).  The compilers are always named with their model's suffix,
# since installing both switches the unsuffixed names.
if(NOT DEFINED CORVANE_MINGW_THREAD_MODEL)
    set(CORVANE_MINGW_THREAD_MODEL posix)
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-${CORVANE_MINGW_THREAD_MODEL})
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-${CORVANE_MINGW_THREAD_MODEL})
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
