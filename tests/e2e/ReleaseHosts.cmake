# What the scripts that build hosts from the release zip share: unpacking the
# zip into WORK_DIR, an import library for kernel32 made from the msvc-host
# project's kernel32.def, and a program's answer under Wine, with no other
# folder on Wine's path.  Included by cxx-host/CxxHosts.cmake and
# msvc-host/MsvcHost.cmake, which are given ZIP, WORK_DIR, DLLTOOL and EMULATOR.

function(run what)
    execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${WORK_DIR}"
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${what} failed (${result}):\n${output}")
    endif()
endfunction()

# Unpacks ZIP into a fresh WORK_DIR, sets `out` to the unpacked package folder
# and makes WORK_DIR/kernel32.lib.
function(unpack_release out)
    file(REMOVE_RECURSE "${WORK_DIR}")
    file(MAKE_DIRECTORY "${WORK_DIR}")
    run("unpacking ${ZIP}" ${CMAKE_COMMAND} -E tar xf "${ZIP}")
    set(def "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/msvc-host/project/kernel32.def")
    run("llvm-dlltool kernel32.def" ${DLLTOOL} -m i386:x86-64 -d "${def}" -l kernel32.lib)
    get_filename_component(name "${ZIP}" NAME_WLE)
    set(${out} "${WORK_DIR}/${name}" PARENT_SCOPE)
endfunction()

# `out`: "STATUS: LINE" of the program, which must exit 0 or 1 and print one verdict line.
function(answer_of program out)
    execute_process(COMMAND env -u WINEPATH ${EMULATOR} ${program}
                    RESULT_VARIABLE status OUTPUT_VARIABLE line ERROR_VARIABLE error)
    string(REPLACE "\r" "" line "${line}")
    if(NOT (status EQUAL 0 OR status EQUAL 1) OR NOT line MATCHES "^([A-Za-z-]+|no product) \\(type [0-9]+\\)\n$")
        message(FATAL_ERROR "${program}: exit status ${status}\n--- stdout:\n${line}\n--- stderr:\n${error}")
    endif()
    set(${out} "${status}: ${line}" PARENT_SCOPE)
endfunction()
