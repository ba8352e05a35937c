# Unpacks the release zip, builds project/ through its CMake package as an
# MSVC-style host (clang for x86_64-pc-windows-msvc, lld-link, lib/CorvaneVMD.lib,
# no C runtime) and runs it under Wine beside the shipped, stripped DLL.  Its
# line and exit status must be those of the shipped corvane-vmd.exe.
#
#   cmake -DZIP= -DWORK_DIR= -DCLANG= -DDLLTOOL= -DGENERATOR= -DEMULATOR= -P MsvcHost.cmake

cmake_minimum_required(VERSION 3.25)

function(run what)
    execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${WORK_DIR}"
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${what} failed (${result}):\n${output}")
    endif()
endfunction()

function(run_windows program out_status out_line)
    execute_process(COMMAND ${EMULATOR} ${program} RESULT_VARIABLE status OUTPUT_VARIABLE line ERROR_VARIABLE error)
    string(REPLACE "\r" "" line "${line}")
    if(NOT (status EQUAL 0 OR status EQUAL 1) OR NOT line MATCHES "^([A-Za-z-]+|no product) \\(type [0-9]+\\)\n$")
        message(FATAL_ERROR "${program}: exit status ${status}\n--- stdout:\n${line}\n--- stderr:\n${error}")
    endif()
    set(${out_status} "${status}" PARENT_SCOPE)
    set(${out_line} "${line}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
run("unpacking ${ZIP}" ${CMAKE_COMMAND} -E tar xf "${ZIP}")
get_filename_component(package "${ZIP}" NAME)
string(REGEX REPLACE "\\.zip$" "" package "${WORK_DIR}/${package}")

set(here "${CMAKE_CURRENT_LIST_DIR}")
run("llvm-dlltool kernel32.def" ${DLLTOOL} -m i386:x86-64 -d "${here}/project/kernel32.def" -l kernel32.lib)
run("configuring the MSVC-style host" ${CMAKE_COMMAND} -S "${here}/project" -B host -G "${GENERATOR}"
    -DCMAKE_TOOLCHAIN_FILE=${here}/clang-msvc.cmake -DCMAKE_C_COMPILER=${CLANG} -DCMAKE_BUILD_TYPE=Release
    -DCorvaneVMD_DIR=${package}/lib/cmake/CorvaneVMD -DKERNEL32=${WORK_DIR}/kernel32.lib)
run("building the MSVC-style host" ${CMAKE_COMMAND} --build host)
file(COPY "${WORK_DIR}/host/msvc-host.exe" DESTINATION "${package}/bin")

run_windows("${package}/bin/corvane-vmd.exe" reference_status reference_line)
run_windows("${package}/bin/msvc-host.exe" status line)
if(NOT status EQUAL reference_status OR NOT line STREQUAL reference_line)
    message(FATAL_ERROR "the MSVC-style host answered \"${line}\" (exit ${status}); corvane-vmd answered "
                        "\"${reference_line}\" (exit ${reference_status})")
endif()
message(STATUS "MSVC-style host and corvane-vmd agree: ${line}")
