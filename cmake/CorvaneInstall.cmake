# What `cmake --install` lays out, and the zip CPack makes of it:
#
#   bin/CorvaneVMD.dll, bin/corvane-vmd.exe
#   lib/libCorvaneVMD.dll.a                  the import library
#   include/corvane/vmd.h
#   lib/cmake/CorvaneVMD/                    find_package(CorvaneVMD) -> CorvaneVMD::CorvaneVMD
#   lib/pkgconfig/corvane-vmd.pc             for MinGW builds that use pkg-config
#   README.md, LICENSE

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(CORVANE_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/CorvaneVMD)

install(TARGETS CorvaneVMD EXPORT CorvaneVMDTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS corvane-vmd RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/corvane/vmd.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/corvane)

install(EXPORT CorvaneVMDTargets NAMESPACE CorvaneVMD:: FILE CorvaneVMDTargets.cmake
        DESTINATION ${CORVANE_INSTALL_CMAKEDIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/CorvaneVMDConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/package/CorvaneVMDConfig.cmake
                              INSTALL_DESTINATION ${CORVANE_INSTALL_CMAKEDIR})
# 1.x hosts keep working with any later 1.x library.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/CorvaneVMDConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/CorvaneVMDConfig.cmake
              ${CMAKE_BINARY_DIR}/package/CorvaneVMDConfigVersion.cmake
        DESTINATION ${CORVANE_INSTALL_CMAKEDIR})

# Relative to its own folder, so the installed tree can be moved (or unzipped) anywhere.
configure_file(${PROJECT_SOURCE_DIR}/cmake/corvane-vmd.pc.in ${CMAKE_BINARY_DIR}/package/corvane-vmd.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/package/corvane-vmd.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME CorvaneVMD)
set(CPACK_PACKAGE_VENDOR "CorvaneVMD developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_FILE_NAME CorvaneVMD-${PROJECT_VERSION}-win64)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
