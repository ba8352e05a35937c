# Unpacks the release zip, builds the two C++ hosts of this folder from it and
# runs each under Wine beside the shipped DLL, with no other folder on Wine's
# path.  The MinGW host is built by the command line the zip's README gives
# for it, so a README that forgets the C++ runtime fails here.
#
#   cmake -DZIP= -DWORK_DIR= -DCXX= -DCLANG= -DDLLTOOL= -DKERNEL32_DEF= -DEMULATOR= -P CxxHosts.cmake

cmake_minimum_required(VERSION 3.25)

function(run what)
    execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${WORK_DIR}"
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${what} failed (${result}):\n${output}")
    endif()
endfunction()

function(answer_of program out)
    execute_process(COMMAND env -u WINEPATH ${EMULATOR} ${program}
                    RESULT_VARIABLE status OUTPUT_VARIABLE line ERROR_VARIABLE error)
    string(REPLACE "\r" "" line "${line}")
    if(NOT (status EQUAL 0 OR status EQUAL 1) OR NOT line MATCHES "^([A-Za-z-]+|no product) \\(type [0-9]+\\)\n$")
        message(FATAL_ERROR "${program}: exit status ${status}\n--- stdout:\n${line}\n--- stderr:\n${error}")
    endif()
    set(${out} "${status}: ${line}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
run("unpacking ${ZIP}" ${CMAKE_COMMAND} -E tar xf "${ZIP}")
get_filename_component(name "${ZIP}" NAME_WLE)
set(package "${WORK_DIR}/${name}")
set(here "${CMAKE_CURRENT_LIST_DIR}")

# The README's MinGW C++ line, with the unpacked folder, this host and the
# build's compiler put in.
file(READ "${package}/README.md" readme)
string(FIND "${readme}" "**MinGW C++**" at)
if(at LESS 0)
    message(FATAL_ERROR "the zip's README gives no MinGW C++ command line")
endif()
string(SUBSTRING "${readme}" ${at} -1 readme)
string(FIND "${readme}" "```sh\n" at)
string(SUBSTRING "${readme}" ${at} -1 readme)
if(NOT readme MATCHES "^```sh\n([^`]*)```")
    message(FATAL_ERROR "the zip's README gives no MinGW C++ command line")
endif()
string(REPLACE "\\\n" " " line "${CMAKE_MATCH_1}")
string(REPLACE "/opt/${name}" "${package}" line "${line}")
string(REPLACE "x86_64-w64-mingw32-g++" "${CXX}" line "${line}")
string(REPLACE "host.cpp" "${here}/mingw_host.cpp" line "${line}")
string(REPLACE "host.exe" "${package}/bin/mingw-cxx-host.exe" line "${line}")
separate_arguments(line UNIX_COMMAND "${line}")
run("the README's MinGW C++ command line" ${line})

run("llvm-dlltool kernel32.def" ${DLLTOOL} -m i386:x86-64 -d "${KERNEL32_DEF}" -l kernel32.lib)
run("building the MSVC-style C++ host" ${CLANG} --target=x86_64-pc-windows-msvc -std=c++17 -O2 -ffreestanding
    -fno-exceptions -fno-rtti -fno-stack-protector -Wall -Wextra -Werror -I "${package}/include"
    -x c++ "${here}/../msvc-host/project/host.c" -x none "${package}/lib/CorvaneVMD.lib" kernel32.lib
    -fuse-ld=lld-link -nostdlib
    -Wl,/entry:HostMain -Wl,/subsystem:console -o "${package}/bin/msvc-cxx-host.exe")

answer_of("${package}/bin/corvane-vmd.exe" reference)
foreach(host mingw-cxx-host msvc-cxx-host)
    answer_of("${package}/bin/${host}.exe" answer)
    if(NOT answer STREQUAL reference)
        message(FATAL_ERROR "${host} answered \"${answer}\"; corvane-vmd answered \"${reference}\"")
    endif()
endforeach()
file(REMOVE_RECURSE "${WORK_DIR}")
message(STATUS "both C++ hosts built from the zip answer as corvane-vmd: ${reference}")
