# `cpack -G DEB` in a build tree: one Debian package of what the install rules
# put in place (cmake/install.cmake), under /usr: the engine with its
# development link, libcrypt.dll beside it, the header, the pkg-config and
# CMake files, the tool with its man page and bash completion.
set(CPACK_PACKAGE_NAME dizora)
set(CPACK_PACKAGE_VENDOR "Dizora-V")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Dizora-V cryptographic engine (GOST signatures, encryption, key exchange)")
set(CPACK_PACKAGE_DESCRIPTION
    "The engine of a banking client as a shared library with 75 C functions, the GOST library it loads, and the dizora command-line tool.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Dizora-V developers <dizora@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# Dependencies found by dpkg-shlibdeps (libgcrypt of the GOST library, the C
# and C++ runtimes); the package's own libdizora.so.0 is found in its tree.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
include(CPack)
