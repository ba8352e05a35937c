# Unpacks the release zip, builds the two C++ hosts of this folder from it and
# runs each under Wine beside the shipped DLL, with no other folder on Wine's
# path.  The MinGW host is built by the command line the zip's README gives
# for it, so a README that forgets the C++ runtime fails here.
#
#   cmake -DZIP= -DWORK_DIR= -DCXX= -DCLANG= -DDLLTOOL= -DEMULATOR= -P CxxHosts.cmake

cmake_minimum_required(VERSION 3.25)

include("${CMAKE_CURRENT_LIST_DIR}/../ReleaseHosts.cmake")
unpack_release(package)
get_filename_component(name "${package}" NAME)
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
