# The shipped DLL's own configure under the clang preset: clang and lld with the
# win32 thread model's libstdc++, as cmake/mingw-w64-x86_64-win32.cmake does for GCC.
set(CORVANE_MINGW_THREAD_MODEL win32)
include(${CMAKE_CURRENT_LIST_DIR}/clang-mingw-w64-x86_64.cmake)
