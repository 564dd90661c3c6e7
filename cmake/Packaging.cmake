# Packages of the install tree, by CPack:
#   cmake --build build --target package
# A Linux build gives a Debian package (qtx_VERSION_ARCH.deb, installed in
# /usr) and a TGZ of the same tree; a Windows build gives a ZIP. Each holds
# what `cmake --install` installs: the library, its headers, the CMake
# package, the pkg-config file and the tool qtx (with the compiler's runtime
# DLLs on Windows). The version is the project's, from VERSION.
set(CPACK_PACKAGE_NAME qtx)
set(CPACK_PACKAGE_VENDOR "QTXLibrary")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION "The QTX library (C++ classes and a C interface), its headers, CMake and \
pkg-config files, and the command-line tool qtx.")
set(CPACK_PACKAGE_CONTACT "QTXLibrary developers <qtx@example.org>")
set(CPACK_PACKAGE_FILE_NAME "qtx-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}")
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB TGZ)
endif()

# Debian: one package, its dependencies found by dpkg-shlibdeps from what the
# library and the tool link; the shlibs file and the ldconfig trigger come
# with the shared library.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "")

include(CPack)
