# The Debian package of the installation: `cpack -G DEB` in the build folder
# makes tessel-kit_VERSION_ARCH.deb, whose dependencies dpkg-shlibdeps finds
# from the libraries the programs and the token library link.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessel-kit)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tessel kit developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Test tools, a local service and a command-line client for TesselService")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "The token library libTesselMACCDLL.so and its header, the TesselService test tools, "
  "TesselServiceLocal (a local TesselService on loopback), tessel-call (authenticated calls "
  "from a shell or a CI job), tessel-soap, tessel-kat, and the Python package tessel "
  "(the token scheme for pytest suites and Locust loads).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tessel kit maintainers <tessel-kit@example.test>")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "plplot-driver-cairo")
# The Python package tessel is pure Python over the token library.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-pytest, python3-locust")
include(CPack)
