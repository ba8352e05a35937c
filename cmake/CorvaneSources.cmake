# The library's targets.
#
#   corvane_core        all detection code, bound to the Win32 seam (static)
#   CorvaneVMD          the shipped DLL: corvane_core behind the five exports
#   corvane_profile     machine profiles and their JSON form (never in the DLL)
#   corvane_simulation  a simulated Windows machine driven by a profile
#   corvane_capture     recording a machine into a profile (below)

file(GLOB CORVANE_CORE_SOURCES CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/api/*.cpp
     ${PROJECT_SOURCE_DIR}/vmdetection/*.cpp
     ${PROJECT_SOURCE_DIR}/platform/*.cpp
     ${PROJECT_SOURCE_DIR}/diagnostics/*.cpp)

add_library(corvane_core STATIC ${CORVANE_CORE_SOURCES})
target_include_directories(corvane_core PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include)
target_link_libraries(corvane_core PUBLIC
    ole32 oleaut32 wbemuuid advapi32 shlwapi shell32 iphlpapi setupapi powrprof mpr user32 uuid)

add_library(CorvaneVMD SHARED
    ${PROJECT_SOURCE_DIR}/api/CorvaneVMD.def
    ${PROJECT_SOURCE_DIR}/api/version.rc)
target_link_libraries(CorvaneVMD PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,corvane_core>")
set_target_properties(CorvaneVMD PROPERTIES PREFIX "" OUTPUT_NAME CorvaneVMD IMPORT_PREFIX "lib" IMPORT_SUFFIX ".dll.a")
target_link_options(CorvaneVMD PRIVATE -Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat)
target_include_directories(CorvaneVMD PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include> $<INSTALL_INTERFACE:include>)

# nlohmann-json is header-only; only its own folder is exposed to the cross compiler.
find_path(CORVANE_NLOHMANN_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
if(NOT CORVANE_NLOHMANN_DIR)
    message(FATAL_ERROR "nlohmann/json.hpp not found: install nlohmann-json3-dev")
endif()
file(COPY ${CORVANE_NLOHMANN_DIR}/nlohmann DESTINATION ${CMAKE_BINARY_DIR}/third_party/include)

file(GLOB CORVANE_PROFILE_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/platform/profile/*.cpp)
add_library(corvane_profile STATIC ${CORVANE_PROFILE_SOURCES})
target_include_directories(corvane_profile PUBLIC ${PROJECT_SOURCE_DIR})
target_include_directories(corvane_profile SYSTEM PUBLIC ${CMAKE_BINARY_DIR}/third_party/include)

file(GLOB CORVANE_SIMULATION_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/platform/simulated/*.cpp)
add_library(corvane_simulation STATIC ${CORVANE_SIMULATION_SOURCES})
target_link_libraries(corvane_simulation PUBLIC corvane_core corvane_profile)

# corvane_capture     recording this machine into a profile, redacting it, replaying
#                     one (for corvane-vmd capture / replay; never in the DLL)
file(GLOB CORVANE_CAPTURE_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/platform/capture/*.cpp)
add_library(corvane_capture STATIC ${CORVANE_CAPTURE_SOURCES})
target_link_libraries(corvane_capture PUBLIC corvane_core corvane_profile corvane_explain user32)
