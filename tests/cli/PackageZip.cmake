# Makes the zip with CPack and checks that it holds the installed layout.
#
#   cmake -DCPACK= -DBUILD_DIR= -DWORK_DIR= -P PackageZip.cmake

cmake_minimum_required(VERSION 3.25)

set(name CorvaneVMD-1.0.0.0-win64)
file(REMOVE_RECURSE "${WORK_DIR}")
execute_process(COMMAND ${CPACK} --config "${BUILD_DIR}/CPackConfig.cmake" -B "${WORK_DIR}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR NOT EXISTS "${WORK_DIR}/${name}.zip")
    message(FATAL_ERROR "cpack did not make ${name}.zip (${result}):\n${output}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf "${WORK_DIR}/${name}.zip" OUTPUT_VARIABLE listing RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cannot list ${name}.zip")
endif()
string(REPLACE "\n" ";" entries "${listing}")
foreach(file bin/CorvaneVMD.dll bin/corvane-vmd.exe lib/libCorvaneVMD.dll.a include/corvane/vmd.h
             lib/cmake/CorvaneVMD/CorvaneVMDConfig.cmake lib/cmake/CorvaneVMD/CorvaneVMDConfigVersion.cmake
             lib/cmake/CorvaneVMD/CorvaneVMDTargets.cmake lib/pkgconfig/corvane-vmd.pc README.md LICENSE)
    if(NOT "${name}/${file}" IN_LIST entries)
        message(FATAL_ERROR "${name}.zip lacks ${name}/${file}; it holds:\n${listing}")
    endif()
endforeach()
message(STATUS "${name}.zip holds the package")
