# The release: the install tree (cmake/CorvaneInstall.cmake) made into two zips
# and their checksums, in build/release/:
#
#   CorvaneVMD-<version>-win64.zip        the package, stripped
#   CorvaneVMD-<version>-win64-debug.zip  the *.debug files its binaries link to
#   SHA256SUMS
#
# tools/make-release-zips.py writes them byte for byte the same from the same
# commit (fixed order, the commit's time; docs/release.md).  The target runs
# with every build, so the zips always hold the binaries just built.

set(CORVANE_RELEASE_DIR ${CMAKE_BINARY_DIR}/release)
set(CORVANE_RELEASE_NAME CorvaneVMD-${PROJECT_VERSION}-win64)

# The shipped binaries' link maps (<file>.map beside each; the DLL's own
# configure writes its map, api/CMakeLists.txt): the release test checks
# THIRD-PARTY-NOTICES.txt against what they show was linked in.
target_link_options(corvane-vmd PRIVATE "-Wl,-Map=$<TARGET_FILE:corvane-vmd>.map")

# The package's own README: what the unpacked folder holds and how to use it.
configure_file(${PROJECT_SOURCE_DIR}/cmake/package-README.md.in ${CMAKE_BINARY_DIR}/package/README.md @ONLY)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

add_custom_target(release ALL
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${CORVANE_RELEASE_DIR}
    COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${CORVANE_RELEASE_DIR}/stage
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/make-release-zips.py
            --stage ${CORVANE_RELEASE_DIR}/stage --name ${CORVANE_RELEASE_NAME}
            --out ${CORVANE_RELEASE_DIR} --source ${PROJECT_SOURCE_DIR}
    COMMENT "Making ${CORVANE_RELEASE_NAME}.zip and its debug zip"
    VERBATIM)
add_dependencies(release CorvaneVMD corvane-vmd corvane-msvc-import-library)
