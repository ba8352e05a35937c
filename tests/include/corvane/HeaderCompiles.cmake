# include/corvane/vmd.h compiles cleanly, warnings as errors, as every host
# compiles it: C89, C99, C11 and C++ with MinGW's GCC and with clang in MSVC
# mode (which has no C library here: the header may need only <stddef.h> and
# <stdint.h>, which clang brings), and freestanding.
#
#   cmake -DGCC= -DGXX= -DCLANG= -DSOURCE_DIR= -DWORK_DIR= -P HeaderCompiles.cmake

cmake_minimum_required(VERSION 3.25)

set(use ${CMAKE_CURRENT_LIST_DIR}/vmd_header.c)
set(warnings "-Wall -Wextra -Werror")
set(msvc "--target=x86_64-pc-windows-msvc ${warnings}")
set(modes
    "mingw-c89: ${GCC} -std=c89 -pedantic ${warnings}"
    "mingw-c99: ${GCC} -std=c99 -pedantic ${warnings}"
    "mingw-c11: ${GCC} -std=c11 -pedantic ${warnings}"
    "mingw-c++11: ${GXX} -x c++ -std=c++11 -pedantic ${warnings}"
    "mingw-c++20: ${GXX} -x c++ -std=c++20 -pedantic ${warnings}"
    "mingw-freestanding-c11: ${GCC} -std=c11 -ffreestanding ${warnings}"
    "mingw-freestanding-c++20: ${GXX} -x c++ -std=c++20 -ffreestanding ${warnings}"
    "msvc-c89: ${CLANG} -std=c89 ${msvc}"
    "msvc-c99: ${CLANG} -std=c99 ${msvc}"
    "msvc-c11: ${CLANG} -std=c11 ${msvc}"
    "msvc-c++14: ${CLANG} -x c++ -std=c++14 ${msvc}"
    "msvc-c++20: ${CLANG} -x c++ -std=c++20 ${msvc}"
    "msvc-freestanding-c11: ${CLANG} -std=c11 -ffreestanding -nostdlibinc ${msvc}"
    "msvc-freestanding-c++20: ${CLANG} -x c++ -std=c++20 -ffreestanding -nostdlibinc ${msvc}")

file(MAKE_DIRECTORY "${WORK_DIR}")
set(failed "")
foreach(mode IN LISTS modes)
    string(REGEX MATCH "^[^:]+" name "${mode}")
    string(REGEX REPLACE "^[^:]+: " "" command "${mode}")
    separate_arguments(command UNIX_COMMAND "${command}")
    execute_process(COMMAND ${command} -I${SOURCE_DIR}/include -c ${use} -o ${WORK_DIR}/${name}.o
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        string(APPEND failed "--- ${mode}\n${output}\n")
    endif()
endforeach()
if(failed)
    message(FATAL_ERROR "vmd.h does not compile cleanly:\n${failed}")
endif()
message(STATUS "vmd.h compiles in every mode")
