# include/corvane/vmd.h compiles cleanly, warnings as errors, as every host
# compiles it: C89, C99, C11, C++98, C++11 and C++20 with MinGW's GCC and with
# clang in MSVC mode (which has no C library here: the header may need only
# <stddef.h> and <stdint.h>, which clang brings), and freestanding.  A 32-bit
# host must stop at the header's #error, with its sentence, not at link time.
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
    "mingw-c++98: ${GXX} -x c++ -std=c++98 -pedantic ${warnings}"
    "mingw-c++11: ${GXX} -x c++ -std=c++11 -pedantic ${warnings}"
    "mingw-c++20: ${GXX} -x c++ -std=c++20 -pedantic ${warnings}"
    "mingw-freestanding-c11: ${GCC} -std=c11 -ffreestanding ${warnings}"
    "mingw-freestanding-c++20: ${GXX} -x c++ -std=c++20 -ffreestanding ${warnings}"
    "msvc-c89: ${CLANG} -std=c89 ${msvc}"
    "msvc-c99: ${CLANG} -std=c99 ${msvc}"
    "msvc-c11: ${CLANG} -std=c11 ${msvc}"
    "msvc-c++98: ${CLANG} -x c++ -std=c++98 ${msvc}"
    "msvc-c++11: ${CLANG} -x c++ -std=c++11 ${msvc}"
    "msvc-c++20: ${CLANG} -x c++ -std=c++20 ${msvc}"
    "msvc-freestanding-c11: ${CLANG} -std=c11 -ffreestanding -nostdlibinc ${msvc}"
    "msvc-freestanding-c++20: ${CLANG} -x c++ -std=c++20 -ffreestanding -nostdlibinc ${msvc}"
    "!msvc-32-bit: ${CLANG} -std=c11 --target=i686-pc-windows-msvc ${warnings}"
    "!mingw-32-bit-c++11: ${CLANG} -x c++ -std=c++11 --target=i686-w64-windows-gnu ${warnings}")
set(refusal "CorvaneVMD.dll is 64-bit \\(x86-64\\): build this host as a 64-bit Windows program")

file(MAKE_DIRECTORY "${WORK_DIR}")
set(failed "")
foreach(mode IN LISTS modes)
    # "!name": a 32-bit host, which must fail at the header's #error.
    string(REGEX MATCH "^!?([^:]+)" name "${mode}")
    set(name "${CMAKE_MATCH_1}")
    string(REGEX REPLACE "^[^:]+: " "" command "${mode}")
    separate_arguments(command UNIX_COMMAND "${command}")
    execute_process(COMMAND ${command} -I${SOURCE_DIR}/include -c ${use} -o ${WORK_DIR}/${name}.o
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(mode MATCHES "^!")
        if(result EQUAL 0 OR NOT output MATCHES "#error[^\n]*${refusal}")
            string(APPEND failed "--- ${mode}: compiled, or failed without the header's #error\n${output}\n")
        endif()
    elseif(NOT result EQUAL 0)
        string(APPEND failed "--- ${mode}\n${output}\n")
    endif()
endforeach()
if(failed)
    message(FATAL_ERROR "vmd.h does not compile cleanly:\n${failed}")
endif()
message(STATUS "vmd.h compiles in every mode")
