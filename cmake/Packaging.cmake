# sfxpack's .deb package, made by CPack from the install rules
# (tools/sfxpack/CMakeLists.txt): `make package`, or `cpack` in the release
# build folder, writes dist/sfxpack_VERSION_ARCH.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sfxpack)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "build and check self-extracting setup packages for Windows")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "sfxpack builds setup packages for 64-bit Windows: a small launcher image that checks "
    "the package, decodes the LZMA-compressed inner setup program and starts it. It also "
    "inspects, verifies and extracts such packages with the launcher's own code, and tells "
    "what the launcher will show on each Windows version.")
set(CPACK_PACKAGE_CONTACT "Setup launcher developers <setup-launcher@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_OUTPUT_FILE_PREFIX "${SETUP_DIST_DIR}")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
# Depends from the libraries the binary loads (liblzma5, libc6, libstdc++6,
# libgcc-s1), by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
