# corvane-vmd capture, then replay of what it wrote, against the live answer
# of CorvaneVMD.dll on the same machine.
#
#   cmake -DEMULATOR=wine-run.sh -DEXE=corvane-vmd.exe -DWORK_DIR=dir -P CaptureReplay.cmake
#
# The replay of the capture (plain and redacted) must give the DLL's verdict
# and exit status, and its explanation the same verdict, gate and deciding
# check as the live explanation.

cmake_minimum_required(VERSION 3.25)

function(fail message)
    message(FATAL_ERROR "${message}\n--- stdout:\n${out}\n--- stderr:\n${err}")
endfunction()

# Runs the tool; `status`, `out` and `err` are set in the caller.
macro(run)
    execute_process(COMMAND ${EMULATOR} ${EXE} ${ARGN} WORKING_DIRECTORY "${WORK_DIR}"
                    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    string(REPLACE "\r" "" out "${out}")
    string(REPLACE "\r" "" err "${err}")
endmacro()

function(verdict_of prefix)
    string(JSON type ERROR_VARIABLE error GET "${out}" type)
    if(error)
        fail("no verdict JSON: ${error}")
    endif()
    string(JSON name GET "${out}" name)
    set(${prefix}_type "${type}" PARENT_SCOPE)
    set(${prefix}_name "${name}" PARENT_SCOPE)
endfunction()

# The lines of an --explain text that say what was decided and by which check.
function(decision_of var)
    string(REGEX MATCHALL "(Verdict|Gate|Decided by): +[^\n]*" lines "${out}")
    if(NOT lines)
        fail("no decision in the explanation")
    endif()
    set(${var} "${lines}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

# What the DLL says here.
run(--json)
verdict_of(live)
set(live_status ${status})
run(--explain)
decision_of(live_decision)

# The capture, replayed.
run(capture --output machine.json)
if(NOT status EQUAL 0 OR NOT EXISTS "${WORK_DIR}/machine.json")
    fail("capture failed with ${status}")
endif()
if(NOT out MATCHES "machine.json")
    fail("capture does not say where it wrote")
endif()
run(replay machine.json --json)
verdict_of(replayed)
if(NOT replayed_type STREQUAL live_type OR NOT replayed_name STREQUAL live_name)
    fail("replay gives ${replayed_name} (${replayed_type}), the DLL ${live_name} (${live_type})")
endif()
if(NOT status EQUAL live_status)
    fail("replay exits with ${status}, detection with ${live_status}")
endif()
run(replay machine.json --explain)
decision_of(replayed_decision)
if(NOT replayed_decision STREQUAL live_decision)
    fail("replayed explanation decides '${replayed_decision}', the live one '${live_decision}'")
endif()
if(NOT out MATCHES "DetectVM: +[^\n]*agrees")
    fail("the replayed explanation disagrees with DetectVM on the replayed machine")
endif()

# Redacted: the same verdict from a file without the machine's names.
run(capture --redact --quiet --output redacted.json)
if(NOT status EQUAL 0 OR NOT out STREQUAL "")
    fail("capture --redact --quiet failed with ${status} or printed")
endif()
file(READ "${WORK_DIR}/redacted.json" redacted)
if(NOT redacted MATCHES "redacted")
    fail("the redacted profile does not say it is redacted")
endif()
run(replay redacted.json --json)
verdict_of(redacted)
if(NOT redacted_type STREQUAL live_type OR NOT redacted_name STREQUAL live_name)
    fail("redacted replay gives ${redacted_name} (${redacted_type}), the DLL ${live_name} (${live_type})")
endif()

# Without --output the profile goes to stdout, whole.
run(capture)
string(JSON format ERROR_VARIABLE error GET "${out}" format)
if(error OR NOT format STREQUAL "corvane-machine-profile")
    fail("capture to stdout is not a machine profile")
endif()
