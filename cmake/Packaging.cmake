# SPDX-License-Identifier: Zlib
# sfxpack's .deb package, made by CPack from the install rules
# (tools/sfxpack/CMakeLists.txt): `make package`, or `cpack` in the release
# build folder, writes dist/sfxpack_VERSION_ARCH.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sfxpack)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "build and check self-extracting setup packages for Windows")
# In lines below 80 columns, as Debian's control files want them.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "sfxpack builds setup packages for 64-bit Windows: a small launcher image\n"
    "that checks the package, decodes the LZMA-compressed inner setup program\n"
    "and starts it. It also inspects, verifies and extracts such packages with\n"
    "the launcher's own code, and tells what the launcher will show on each\n"
    "Windows version.")
# The project, not a person; the address is an example one (RFC 2606).
set(CPACK_PACKAGE_CONTACT "Setup launcher project <setup-launcher@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_OUTPUT_FILE_PREFIX "${SETUP_DIST_DIR}")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
# Depends from the libraries the binary loads (liblzma5, libc6, libstdc++6,
# libgcc-s1), by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# What Debian asks of every package, and `make install` gets as well: the
# copyright file in Debian's machine-readable format (the project's zlib
# License and the licences of what the binaries contain), and the changelog,
# compressed without a time stamp.
include(GNUInstallDirs)
set(deb_doc "${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME}")
configure_file(cmake/deb/changelog.in "${CMAKE_BINARY_DIR}/deb/changelog" @ONLY)
add_custom_command(
  OUTPUT "${CMAKE_BINARY_DIR}/deb/changelog.gz"
  COMMAND gzip -9nkf changelog
  WORKING_DIRECTORY "${CMAKE_BINARY_DIR}/deb"
  DEPENDS "${CMAKE_BINARY_DIR}/deb/changelog"
  VERBATIM)
add_custom_target(deb_changelog ALL DEPENDS "${CMAKE_BINARY_DIR}/deb/changelog.gz")
install(FILES cmake/deb/copyright "${CMAKE_BINARY_DIR}/deb/changelog.gz" DESTINATION "${deb_doc}")

include(CPack)
