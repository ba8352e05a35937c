# An MSVC-style compiler without Visual Studio: clang for x86_64-pc-windows-msvc,
# linking through lld-link.  There is no C runtime or Windows SDK here, so
# CMake's compiler checks build a static library, not a program.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER_TARGET x86_64-pc-windows-msvc)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "No Windows SDK libraries: the host names its own")
