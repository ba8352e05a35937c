# The shipped CorvaneVMD.dll: the library's five folders configured a second
# time, in build/shipped-dll, with the win32 thread model
# (cmake/mingw-w64-x86_64-win32.cmake), and only the DLL built there.  The
# tests and the tools of this build keep the posix model, so no binary mixes
# the two (docs/architecture.md).  The DLL, its import library, link map and
# PDB land in this build's folder, and `CorvaneVMD` here is that DLL, imported:
# everything that loads or links the library (e2e tests, benchmarks, the
# release) uses the shipped binary.  `cmake --build build --target
# corvane-shipped-dll` builds it alone.
include(ExternalProject)

set(CORVANE_SHIPPED_TOOLCHAIN_FILE ${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64-win32.cmake
    CACHE FILEPATH "Toolchain of the shipped DLL's own configure")
set(corvane_shipped_dir ${CMAKE_BINARY_DIR}/shipped-dll)
set(corvane_shipped_args
    -DCMAKE_TOOLCHAIN_FILE=${CORVANE_SHIPPED_TOOLCHAIN_FILE}
    -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    -DCORVANE_SHIPPED_DLL_ONLY=ON
    -DCORVANE_BUILD_TESTS=OFF
    -DCORVANE_WARNINGS_AS_ERRORS=${CORVANE_WARNINGS_AS_ERRORS}
    -DCORVANE_DLL_OUTPUT_DIR=${CMAKE_BINARY_DIR})
foreach(lang C CXX)
    if(CMAKE_${lang}_COMPILER_LAUNCHER)
        list(APPEND corvane_shipped_args "-DCMAKE_${lang}_COMPILER_LAUNCHER=${CMAKE_${lang}_COMPILER_LAUNCHER}")
    endif()
endforeach()

ExternalProject_Add(corvane-shipped-dll
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${corvane_shipped_dir}
    CMAKE_GENERATOR ${CMAKE_GENERATOR}
    CMAKE_ARGS ${corvane_shipped_args}
    # Its own build decides what changed; this one always asks it.
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${corvane_shipped_dir} --target CorvaneVMD
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${CMAKE_BINARY_DIR}/CorvaneVMD.dll ${CMAKE_BINARY_DIR}/libCorvaneVMD.dll.a
                     ${CMAKE_BINARY_DIR}/CorvaneVMD.dll.map ${corvane_shipped_dir}/CorvaneVMD.pdb)
set(CORVANE_DLL_PDB ${corvane_shipped_dir}/CorvaneVMD.pdb PARENT_SCOPE)

add_library(CorvaneVMD SHARED IMPORTED GLOBAL)
set_target_properties(CorvaneVMD PROPERTIES
    IMPORTED_LOCATION ${CMAKE_BINARY_DIR}/CorvaneVMD.dll
    IMPORTED_IMPLIB ${CMAKE_BINARY_DIR}/libCorvaneVMD.dll.a
    INTERFACE_INCLUDE_DIRECTORIES ${PROJECT_SOURCE_DIR}/include)
add_dependencies(CorvaneVMD corvane-shipped-dll)
