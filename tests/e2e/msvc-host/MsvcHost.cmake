# Unpacks the release zip, builds project/ through its CMake package as an
# MSVC-style host (clang for x86_64-pc-windows-msvc, lld-link, lib/CorvaneVMD.lib,
# no C runtime) and runs it under Wine beside the shipped, stripped DLL.  Its
# line and exit status must be those of the shipped corvane-vmd.exe.
#
#   cmake -DZIP= -DWORK_DIR= -DCLANG= -DDLLTOOL= -DGENERATOR= -DEMULATOR= -P MsvcHost.cmake

cmake_minimum_required(VERSION 3.25)

include("${CMAKE_CURRENT_LIST_DIR}/../ReleaseHosts.cmake")
unpack_release(package)
set(here "${CMAKE_CURRENT_LIST_DIR}")
run("configuring the MSVC-style host" ${CMAKE_COMMAND} -S "${here}/project" -B host -G "${GENERATOR}"
    -DCMAKE_TOOLCHAIN_FILE=${here}/clang-msvc.cmake -DCMAKE_C_COMPILER=${CLANG} -DCMAKE_BUILD_TYPE=Release
    -DCorvaneVMD_DIR=${package}/lib/cmake/CorvaneVMD -DKERNEL32=${WORK_DIR}/kernel32.lib)
run("building the MSVC-style host" ${CMAKE_COMMAND} --build host)
file(COPY "${WORK_DIR}/host/msvc-host.exe" DESTINATION "${package}/bin")

answer_of("${package}/bin/corvane-vmd.exe" reference)
answer_of("${package}/bin/msvc-host.exe" answer)
if(NOT answer STREQUAL reference)
    message(FATAL_ERROR "the MSVC-style host answered \"${answer}\"; corvane-vmd answered \"${reference}\"")
endif()
message(STATUS "MSVC-style host and corvane-vmd agree: ${answer}")
