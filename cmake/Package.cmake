# The Debian package (cpack -G DEB in a build configured with
# -DCMAKE_INSTALL_PREFIX=/usr): one package, nccore21, holding what
# cmake/Install.cmake installs, with its dependencies worked out by
# dpkg-shlibdeps (libgcrypt20 among them), a shlibs file and the ldconfig
# trigger. scripts/package.sh makes it.

# The package's documents: the copyright file and, the package being native
# (its version has no Debian revision), changelog.gz.
install(FILES ${CMAKE_SOURCE_DIR}/res/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
set(nccore_changelog ${CMAKE_SOURCE_DIR}/res/debian/changelog)
file(STRINGS ${nccore_changelog} nccore_changelog_top LIMIT_COUNT 1)
if(NOT nccore_changelog_top MATCHES "^nccore21 \\(${PROJECT_VERSION}\\) ")
  message(WARNING "res/debian/changelog: the top entry is not version ${PROJECT_VERSION}")
endif()
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND ${NCCORE_GZIP} -9n -c ${nccore_changelog} > ${CMAKE_BINARY_DIR}/changelog.gz
  DEPENDS ${nccore_changelog}
  COMMENT "changelog.gz")
add_custom_target(nccore_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nccore21)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "NCCORE21 developers")
set(CPACK_PACKAGE_CONTACT "NCCORE21 developers <nccore21@example.com>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The first line is the synopsis; CPack indents the rest, an empty line
# separating paragraphs.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "file-cryptography jobs with a Russian user interface
NCCORE21 is a library of self-contained file-cryptography jobs: DES, GOST
28147-89, GOST R 34.10-94 and 34.11-94, RSA and Diffie-Hellman key
generators, file encryptors, hashes, MACs and signatures, and the
protection of keys by passwords and hardware carriers.

This package holds the shared library libnccore21.so.1 with its header and
pkg-config file, and the nccore command-line host with its manual pages in
English and Russian.")
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# ldconfig runs through dpkg's trigger (CPack's postinst and postrm call it as
# well, for any library under /usr/lib).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/res/debian/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
