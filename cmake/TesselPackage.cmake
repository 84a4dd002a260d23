# The Debian package of the installation: scripts/build-deb.sh (or `cpack -G DEB`
# in the build folder) makes tessel-kit_VERSION-RELEASE_ARCH.deb, whose
# dependencies dpkg-shlibdeps finds from the libraries the programs and the
# token library link. The token library lives in the kit's own folder, which
# the programs' RUNPATH names, so the package has no maintainer scripts.

# Who maintains the package: its Maintainer field, the copyright file's
# Upstream-Contact and the changelog's trailer all say this. Whoever builds
# it names themselves as Debian's tools ask, with DEBFULLNAME and DEBEMAIL,
# or with -DTESSEL_MAINTAINER; otherwise the team's address stands.
set(tessel_default_maintainer "Tessel Kit Team <tessel-kit-team@lists.example.org>")
if(DEFINED ENV{DEBFULLNAME} AND DEFINED ENV{DEBEMAIL})
  set(tessel_default_maintainer "$ENV{DEBFULLNAME} <$ENV{DEBEMAIL}>")
endif()
set(TESSEL_MAINTAINER "${tessel_default_maintainer}" CACHE STRING
  "The Debian package's maintainer, \"Name <address>\"")
if(NOT TESSEL_MAINTAINER MATCHES "^[^<>]+ <[^<>@ ]+@[^<>@ ]+>$")
  message(FATAL_ERROR "TESSEL_MAINTAINER is \"${TESSEL_MAINTAINER}\"; it needs the form \"Name <address>\"")
endif()
# The package's own revision: packaging/changelog's latest entry names
# PROJECT_VERSION-TESSEL_DEB_RELEASE.
set(TESSEL_DEB_RELEASE 1)

# The copyright file and the changelog, in the package's doc folder; the
# changelog compressed as Debian keeps it (gzip -9n: no name, no time stamp).
set(TESSEL_DOC_DIR ${CMAKE_BINARY_DIR}/packaging)
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${TESSEL_DOC_DIR}/copyright @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog ${TESSEL_DOC_DIR}/changelog.Debian @ONLY)
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog tessel_changelog_head LIMIT_COUNT 1)
if(NOT tessel_changelog_head MATCHES "^tessel-kit \\(${PROJECT_VERSION}-${TESSEL_DEB_RELEASE}\\) ")
  message(FATAL_ERROR "packaging/changelog begins \"${tessel_changelog_head}\": give version "
                      "${PROJECT_VERSION}-${TESSEL_DEB_RELEASE} an entry there")
endif()
find_program(TESSEL_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${TESSEL_DOC_DIR}/changelog.Debian.gz
  COMMAND ${TESSEL_GZIP} -9nc ${TESSEL_DOC_DIR}/changelog.Debian > ${TESSEL_DOC_DIR}/changelog.Debian.gz
  DEPENDS ${TESSEL_DOC_DIR}/changelog.Debian)
add_custom_target(tessel-package-docs ALL DEPENDS ${TESSEL_DOC_DIR}/changelog.Debian.gz)
install(FILES ${TESSEL_DOC_DIR}/copyright ${TESSEL_DOC_DIR}/changelog.Debian.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tessel-kit)
# lintian's overrides for the package, each with the reason it is right.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian/tessel-kit DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessel-kit)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TESSEL_DEB_RELEASE})
set(CPACK_PACKAGE_VENDOR "The Tessel kit developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "test tools, a local service and a command-line client for TesselService")
# The extended description, in Debian's form: lines of at most 80 columns
# (cpack puts the summary above them and indents each by one space; it takes
# the last line's own indent away, so that one starts at the margin).
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "The kit for the developers and testers of a TesselService server:\n"
  " * nine test tools, each one window for one group of the server's\n"
  "   operations, with a launcher (tessel-kit);\n"
  " * TesselServiceLocal, a local TesselService on loopback;\n"
  " * tessel-call, authenticated calls from a shell or a CI job;\n"
  " * tessel-soap, a command-line SOAP client;\n"
  " * the token library libTesselMACCDLL.so and its C header, and tessel-kat,\n"
  "   which checks it against the known answers of a CryptoAPI provider;\n"
  " * the Python package tessel, for pytest suites and Locust loads.\n"
  "Each program has a man page; the launcher and the tools have menu entries.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TESSEL_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "plplot-driver-cairo")
# The Python package tessel is pure Python over the token library.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-pytest, python3-locust")
include(CPack)

# The package as Debian's own checks see it: made from this build, then
# lintian on it must report no error and no warning (nor, in a build with
# TESSEL_DEB_HARDENING, a missing hardening feature). Skipped without lintian.
# It packs the whole build, so it runs after a full build.
if(NOT TESSEL_SANITIZE)
  add_test(NAME debian_package COMMAND sh ${PROJECT_SOURCE_DIR}/packaging/check-package.sh
    ${CMAKE_BINARY_DIR} ${CMAKE_BINARY_DIR}/package-check $<BOOL:${TESSEL_DEB_HARDENING}>)
  set_tests_properties(debian_package PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900)
endif()
