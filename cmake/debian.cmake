# The native program's install and its Debian package. Included from the top
# CMakeLists.txt in non-Windows builds.
#
# `cmake --install` and `cpack` (quelvaro_<version>_<arch>.deb, in
# package/ of the build folder) both install, under the prefix (/usr in
# the package):
#   bin/quelvaro
#   share/man/man1/quelvaro.1.gz      doc/quelvaro.1.in, with the version
#   share/doc/quelvaro/copyright      doc/copyright (machine-readable, DEP-5)
#   share/doc/quelvaro/changelog.gz   doc/changelog (Debian format)
# The two gzipped files are made at build time with `gzip -9n` (no name,
# no time stamp: the same bytes on every build).
#
# lintian on the package (tests/package/deb_test.sh runs it) reports no
# error and no warning. What it would report otherwise, and what is done
# about it here:
#   - no-changelog (E): a version without a Debian revision makes a native
#     package, whose changelog is changelog.gz (not changelog.Debian.gz) in
#     Debian's changelog format; doc/changelog is one, and this file checks
#     that its latest entry is this version.
#   - unstripped-binary-or-object (E): CPACK_STRIP_FILES (and `cmake
#     --install --strip`) strip the program; the build keeps its debug
#     information.
#   - package-contains-timestamped-gzip (W): gzip -n.
#   - no-manual-page (W), no-copyright-file (E): doc/quelvaro.1.in and
#     doc/copyright.
#   - description-synopsis-is-duplicated (E): CPack puts the summary first
#     itself, so CPACK_DEBIAN_PACKAGE_DESCRIPTION holds the rest only.
#   - control-file-has-bad-permissions (E): not seen with the usual umask;
#     CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION gives the control files
#     Debian's modes whatever the umask.
# Three informational tags remain (lintian -I), none a fault: the build
# flags are the project's own, not dpkg-buildflags', so there is no
# -D_FORTIFY_SOURCE (hardening-no-fortify-functions) and no -z now
# (hardening-no-bindnow, as with Debian's default flags too); and
# binary-has-unneeded-section .comment is the compiler's identification,
# which CPack's strip leaves.
# A sanitizer build makes a package as well, but one that needs the
# sanitizer runtimes; its package is not tested.

include(GNUInstallDirs)
find_program(QUELVARO_GZIP gzip REQUIRED)

# The changelog's latest entry names the version the package is given.
file(STRINGS ${PROJECT_SOURCE_DIR}/doc/changelog quelvaro_changelog_top LIMIT_COUNT 1)
string(REGEX MATCH "^quelvaro \\(([^)]*)\\)" quelvaro_changelog_top "${quelvaro_changelog_top}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "doc/changelog: the latest entry is for version "
    "\"${CMAKE_MATCH_1}\", the project is ${PROJECT_VERSION}; add an entry")
endif()

# The manual page (with the version filled in) and the changelog, gzipped.
set(QUELVARO_DOC ${CMAKE_CURRENT_BINARY_DIR}/doc)
configure_file(${PROJECT_SOURCE_DIR}/doc/quelvaro.1.in ${QUELVARO_DOC}/quelvaro.1 @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/doc/changelog ${QUELVARO_DOC}/changelog COPYONLY)
add_custom_command(
  OUTPUT ${QUELVARO_DOC}/quelvaro.1.gz ${QUELVARO_DOC}/changelog.gz
  COMMAND ${QUELVARO_GZIP} -9nkf quelvaro.1 changelog
  DEPENDS ${QUELVARO_DOC}/quelvaro.1 ${QUELVARO_DOC}/changelog
  WORKING_DIRECTORY ${QUELVARO_DOC}
  COMMENT "Gzipping the manual page and the changelog"
  VERBATIM)
add_custom_target(quelvaro_doc ALL
  DEPENDS ${QUELVARO_DOC}/quelvaro.1.gz ${QUELVARO_DOC}/changelog.gz)

install(TARGETS quelvaro RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${QUELVARO_DOC}/quelvaro.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/doc/copyright ${QUELVARO_DOC}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quelvaro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER
  "The quelvaro developers <maintainers@users.noreply.c-seed-89f3f064.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends: from the libraries the program links, by dpkg-shlibdeps.
# libdbus is loaded only for discovery (without it the Network scopes list
# nothing from the local link, as without a bus), libsmbclient only to list
# an SMB server's shares, GnuTLS only for a server that takes TLS (without
# them those servers give nothing beneath them), c-ares only to browse the
# search domains in unicast DNS (without it, the local link alone), expat
# only to read WSD devices' answers (without it, no WSD device is listed):
# recommendations.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(QUELVARO_TLS)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
      "libdbus-1-3, libsmbclient, libgnutls30, libc-ares2, libexpat1")
else()
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libdbus-1-3, libsmbclient, libc-ares2, libexpat1")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "report of the printers a print spooler enumerates")
# The extended description; CPack puts the summary before it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "quelvaro asks the print spooler for its printers as a Windows program does
(EnumPrintersW), under six enumeration scopes at four information levels
each, and prints every name it is given, each expanded by a by-name request,
with a total per level. It is a diagnostic for the people who test and
troubleshoot print spoolers: the report shows exactly what the spooler
answered.
.
On Linux the spooler is the machine's CUPS server (its local, shared and
remote queues) together with the IPP printers and print servers that DNS-SD
finds on the network.")
include(CPack)

# The package's own test: built by cpack into a temporary folder, unpacked,
# checked with lintian, and its program run.
find_program(QUELVARO_DPKG_DEB dpkg-deb)
if(QUELVARO_TESTS AND QUELVARO_DPKG_DEB AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  enable_testing()
  add_test(NAME debian_package
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/own_network.sh
            bash ${PROJECT_SOURCE_DIR}/tests/package/deb_test.sh
            ${CMAKE_BINARY_DIR} $<TARGET_FILE:quelvaro> ${PROJECT_VERSION}
            ${CMAKE_CPACK_COMMAND})
  # Skipped (77) where lintian or dpkg-shlibdeps is missing.
  set_tests_properties(debian_package PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77 LABELS "e2e;plain")
endif()
