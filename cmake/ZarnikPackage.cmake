# `cpack -G DEB` in a build folder makes a Debian package of everything `cmake --install`
# installs, laid out under /usr. The programs find their libraries and data relative to
# themselves, so the package works wherever dpkg puts /usr.
set(ZARNIK_PACKAGE_CONTACT "Zarnik maintainers <maintainers@zarnik.invalid>" CACHE STRING
  "Maintainer named in the Debian package")

set(CPACK_PACKAGE_NAME zarnik)
set(CPACK_PACKAGE_VENDOR Zarnik)
set(CPACK_PACKAGE_CONTACT ${ZARNIK_PACKAGE_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Keeps the speed cameras of a navigation device up to date")
# In lines Debian's tools show whole (72 characters at most).
set(CPACK_PACKAGE_DESCRIPTION "Zarnik brings the speed-camera points of interest of a portable
navigation device up to date from an online camera database and sends
the user's own camera reports to it. The package holds the headless
zarnik-sync (and the desktop program zarnik when built with Qt), the
reference database service poidb-server, the device emulator devagent,
and the remote-command client library libklxpxclnt with its headers,
CMake package and pkg-config file.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The first packaging of each release: a Debian revision, as a package made of upstream sources
# carries (its changelog is then changelog.Debian.gz).
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(ZARNIK_DEBIAN_VERSION ${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The dependencies on Debian's libraries (libcurl, libsqlite3, Qt) come from the binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# The public libraries in /usr/lib: dpkg runs ldconfig once after installing or removing them.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# What Debian wants of every package in /usr/share/doc/<package>: the copyright, in the
# machine-readable form, and a changelog naming the version packaged.
string(TIMESTAMP ZARNIK_CHANGELOG_DATE "%a, %d %b %Y 00:00:00 +0000" UTC)
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in ${CMAKE_BINARY_DIR}/debian/changelog @ONLY)
zarnik_gzipped_copy(${CMAKE_BINARY_DIR}/debian/changelog changelog.Debian gzipped)
set(ZARNIK_PACKAGE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/zarnik)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright ${gzipped}
  DESTINATION ${ZARNIK_PACKAGE_DOC_DIR} COMPONENT programs)
add_custom_target(zarnik_package_docs ALL DEPENDS ${gzipped})

include(CPack)
