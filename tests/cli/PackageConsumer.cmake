# Installs the build into a folder, then builds and runs the examples against
# that installed package, as a host's developer would:
#   examples/find-package   find_package(CorvaneVMD), linked through the import library
#   the same source         compiled with the flags pkg-config gives for corvane-vmd
#   examples/load-library   LoadLibraryW / GetProcAddress of the installed DLL
# Each host's answer must be the installed corvane-vmd.exe's answer.
#
#   cmake -DBUILD_DIR= -DSOURCE_DIR= -DWORK_DIR= -DTOOLCHAIN= -DGENERATOR= -DEMULATOR= -DC_COMPILER= -P PackageConsumer.cmake

cmake_minimum_required(VERSION 3.25)

function(run what)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${what} failed (${result}):\n${output}")
    endif()
endfunction()

# Runs a Windows program; its exit status must be 0 or 1 and its line the one
# every host prints: "CorvaneVMD 1.0.0.0: <name> (type N)".
function(run_host what out_status out_type)
    execute_process(COMMAND ${EMULATOR} ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE error)
    string(REPLACE "\r" "" output "${output}")
    if(NOT (status EQUAL 0 OR status EQUAL 1) OR NOT output MATCHES "^CorvaneVMD 1\\.0\\.0\\.0: .* \\(type ([0-9]+)\\)\n$")
        message(FATAL_ERROR "${what}: exit status ${status}\n--- stdout:\n${output}\n--- stderr:\n${error}")
    endif()
    message(STATUS "${what}: ${output}")
    set(${out_status} "${status}" PARENT_SCOPE)
    set(${out_type} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

function(expect_same_answer what status type)
    if(NOT status EQUAL reference_status OR NOT type EQUAL reference_type)
        message(FATAL_ERROR "${what} answered type ${type} (exit ${status}); corvane-vmd answered "
                            "type ${reference_type} (exit ${reference_status})")
    endif()
endfunction()

set(prefix "${WORK_DIR}/prefix")
file(REMOVE_RECURSE "${WORK_DIR}")
run("cmake --install" ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}")

foreach(file bin/CorvaneVMD.dll bin/corvane-vmd.exe lib/libCorvaneVMD.dll.a lib/CorvaneVMD.lib lib/CorvaneVMD.def
             bin/CorvaneVMD.dll.debug bin/corvane-vmd.exe.debug include/corvane/vmd.h
             lib/cmake/CorvaneVMD/CorvaneVMDConfig.cmake lib/cmake/CorvaneVMD/CorvaneVMDConfigVersion.cmake
             lib/cmake/CorvaneVMD/CorvaneVMDTargets.cmake lib/pkgconfig/corvane-vmd.pc README.md LICENSE)
    if(NOT EXISTS "${prefix}/${file}")
        message(FATAL_ERROR "the installed package lacks ${file}")
    endif()
endforeach()

# The installed tool's own answer is the reference.
execute_process(COMMAND ${EMULATOR} "${prefix}/bin/corvane-vmd.exe" --json
                RESULT_VARIABLE reference_status OUTPUT_VARIABLE reference_json ERROR_VARIABLE error)
string(JSON reference_type ERROR_VARIABLE json_error GET "${reference_json}" type)
if(json_error OR NOT (reference_status EQUAL 0 OR reference_status EQUAL 1))
    message(FATAL_ERROR "installed corvane-vmd.exe --json: exit ${reference_status}\n${reference_json}\n${error}")
endif()

# find_package: the package folder is named directly, since the toolchain's
# find root would re-root a CMAKE_PREFIX_PATH.
run("configuring examples/find-package"
    ${CMAKE_COMMAND} -S "${SOURCE_DIR}/examples/find-package" -B "${WORK_DIR}/find-package" -G "${GENERATOR}"
    -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DCMAKE_BUILD_TYPE=Release -DCorvaneVMD_DIR=${prefix}/lib/cmake/CorvaneVMD)
run("building examples/find-package" ${CMAKE_COMMAND} --build "${WORK_DIR}/find-package")
run_host("find-package host" status type "${WORK_DIR}/find-package/corvane-host.exe")
expect_same_answer("find-package host" "${status}" "${type}")

# pkg-config, with the installed .pc file only.
set(ENV{PKG_CONFIG_LIBDIR} "${prefix}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
execute_process(COMMAND pkg-config --cflags --libs corvane-vmd RESULT_VARIABLE result OUTPUT_VARIABLE flags
                ERROR_VARIABLE error OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "pkg-config corvane-vmd: ${error}")
endif()
execute_process(COMMAND pkg-config --modversion corvane-vmd OUTPUT_VARIABLE pc_version OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT pc_version STREQUAL "1.0.0.0")
    message(FATAL_ERROR "pkg-config reports version '${pc_version}'")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
file(MAKE_DIRECTORY "${WORK_DIR}/pkg-config")
run("compiling with pkg-config's flags" ${C_COMPILER} "${SOURCE_DIR}/examples/find-package/main.c" ${flags}
    -o "${WORK_DIR}/pkg-config/corvane-host.exe")
file(COPY "${prefix}/bin/CorvaneVMD.dll" DESTINATION "${WORK_DIR}/pkg-config")
run_host("pkg-config host" status type "${WORK_DIR}/pkg-config/corvane-host.exe")
expect_same_answer("pkg-config host" "${status}" "${type}")

# LoadLibraryW: nothing linked; the installed DLL named on the command line.
run("configuring examples/load-library"
    ${CMAKE_COMMAND} -S "${SOURCE_DIR}/examples/load-library" -B "${WORK_DIR}/load-library" -G "${GENERATOR}"
    -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DCMAKE_BUILD_TYPE=Release)
run("building examples/load-library" ${CMAKE_COMMAND} --build "${WORK_DIR}/load-library")
run_host("load-library host" status type "${WORK_DIR}/load-library/corvane-load.exe" "${prefix}/bin/CorvaneVMD.dll")
expect_same_answer("load-library host" "${status}" "${type}")
execute_process(COMMAND ${EMULATOR} "${WORK_DIR}/load-library/corvane-load.exe" "${WORK_DIR}/no-such-folder/CorvaneVMD.dll"
                RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE error)
if(NOT status EQUAL 2 OR NOT error MATCHES "cannot load")
    message(FATAL_ERROR "load-library host without the DLL: exit ${status}, stderr: ${error}")
endif()

message(STATUS "the installed package serves all three hosts")
