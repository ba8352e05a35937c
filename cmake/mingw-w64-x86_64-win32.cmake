# Cross-compiling the shipped CorvaneVMD.dll for 64-bit Windows with mingw-w64's
# win32 thread model: its runtime takes locks and one-time initialisations from
# Windows itself, so no winpthreads (and none of the imports and the TLS callback
# that come with it) is linked into the host's process.  The tools and the tests
# keep the posix model (mingw-w64-x86_64.cmake); the two never meet in one binary.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
