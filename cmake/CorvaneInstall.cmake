# What `cmake --install` lays out (cmake/CorvaneRelease.cmake zips it):
#
#   bin/CorvaneVMD.dll, bin/corvane-vmd.exe  stripped
#   bin/*.debug                              their debug information, named by a debug link
#   bin/CorvaneVMD.pdb                       the DLL's public names for Windows debuggers
#   lib/libCorvaneVMD.dll.a                  the import library for MinGW linkers
#   lib/CorvaneVMD.lib, lib/CorvaneVMD.def   the import library for Microsoft's linker, and its source
#   include/corvane/vmd.h
#   lib/cmake/CorvaneVMD/                    find_package(CorvaneVMD) -> CorvaneVMD::CorvaneVMD
#   lib/pkgconfig/corvane-vmd.pc             for MinGW builds that use pkg-config
#   README.md (cmake/package-README.md.in), LICENSE, THIRD-PARTY-NOTICES.txt

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(CORVANE_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/CorvaneVMD)

# The DLL is imported from its own configure (cmake/CorvaneShippedDll.cmake):
# the stripping below writes it, and its import library is a file here.
install(FILES $<TARGET_LINKER_FILE:CorvaneVMD> DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${CORVANE_DLL_PDB} DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS corvane-vmd RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The installed binaries are stripped copies of the build's; their debug
# information goes to <file>.debug beside them, tied by a debug link (the file's
# name and CRC), so a crash in the field can still be read.  The build tree's
# binaries, which the tests run, keep their symbols.  objcopy stamps the time
# it writes into a PE header unless SOURCE_DATE_EPOCH names one: 0, as the
# linker leaves it (--no-insert-timestamp).
set(corvane_objcopy ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 ${CMAKE_OBJCOPY})
foreach(target CorvaneVMD corvane-vmd)
    install(CODE "
        set(built \"$<TARGET_FILE:${target}>\")
        set(installed \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:${target}>\")
        message(STATUS \"Stripping: \${installed}\")
        execute_process(COMMAND ${corvane_objcopy} --only-keep-debug \"\${built}\" \"\${installed}.debug\"
                        COMMAND_ERROR_IS_FATAL ANY)
        execute_process(COMMAND ${corvane_objcopy} --strip-all \"--add-gnu-debuglink=\${installed}.debug\"
                                \"\${built}\" \"\${installed}\" COMMAND_ERROR_IS_FATAL ANY)")
endforeach()

# The import library for Microsoft's linker (MSVC, clang-cl, lld-link) names the
# five C functions only: the exception class's members carry GCC's C++ names,
# which no MSVC-style host can call (docs/design-notes.md).
find_program(CORVANE_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-16 llvm-dlltool-15 llvm-dlltool-14 REQUIRED
             DOC "llvm-dlltool, which makes CorvaneVMD.lib (Debian package llvm)")
file(STRINGS ${PROJECT_SOURCE_DIR}/api/CorvaneVMD.def corvane_c_exports REGEX "^[ \t]+[A-Za-z][A-Za-z0-9]*[ \t]*$")
list(TRANSFORM corvane_c_exports STRIP)
list(JOIN corvane_c_exports "\n    " corvane_c_exports)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/package/CorvaneVMD.def CONTENT
     "; CorvaneVMD.dll's C functions: `lib /def:CorvaneVMD.def /machine:x64` makes CorvaneVMD.lib.\nLIBRARY CorvaneVMD.dll\nEXPORTS\n    ${corvane_c_exports}\n")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/api/CorvaneVMD.def)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/package/CorvaneVMD.lib
                   COMMAND ${CORVANE_LLVM_DLLTOOL} -m i386:x86-64 -d ${CMAKE_BINARY_DIR}/package/CorvaneVMD.def
                           -l ${CMAKE_BINARY_DIR}/package/CorvaneVMD.lib
                   DEPENDS ${CMAKE_BINARY_DIR}/package/CorvaneVMD.def
                   COMMENT "Making CorvaneVMD.lib for Microsoft's linker" VERBATIM)
add_custom_target(corvane-msvc-import-library ALL DEPENDS ${CMAKE_BINARY_DIR}/package/CorvaneVMD.lib)
install(FILES ${CMAKE_BINARY_DIR}/package/CorvaneVMD.lib ${CMAKE_BINARY_DIR}/package/CorvaneVMD.def
        DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/corvane/vmd.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/corvane)

configure_file(${PROJECT_SOURCE_DIR}/cmake/CorvaneVMDTargets.cmake.in ${CMAKE_BINARY_DIR}/package/CorvaneVMDTargets.cmake
               @ONLY)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/CorvaneVMDConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/package/CorvaneVMDConfig.cmake
                              INSTALL_DESTINATION ${CORVANE_INSTALL_CMAKEDIR})
# 1.x hosts keep working with any later 1.x library.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/CorvaneVMDConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/CorvaneVMDConfig.cmake ${CMAKE_BINARY_DIR}/package/CorvaneVMDTargets.cmake
              ${CMAKE_BINARY_DIR}/package/CorvaneVMDConfigVersion.cmake
        DESTINATION ${CORVANE_INSTALL_CMAKEDIR})

# Relative to its own folder, so the installed tree can be moved (or unzipped) anywhere.
configure_file(${PROJECT_SOURCE_DIR}/cmake/corvane-vmd.pc.in ${CMAKE_BINARY_DIR}/package/corvane-vmd.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/package/corvane-vmd.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(FILES ${CMAKE_BINARY_DIR}/package/README.md ${PROJECT_SOURCE_DIR}/LICENSE
              ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES.txt DESTINATION .)
