# TESSEL_DEB_HARDENING: the compiler and linker flags Debian builds its
# packages with, from dpkg-buildflags with every hardening feature on
# (stack protector, _FORTIFY_SOURCE, format checks, RELRO and immediate
# binding), added to the build's own. scripts/build-deb.sh turns it on for the
# package build; the normal and sanitizer builds keep their own flags.
option(TESSEL_DEB_HARDENING "Add dpkg-buildflags' hardening flags (the Debian package build)" OFF)
if(NOT TESSEL_DEB_HARDENING)
  return()
endif()
if(TESSEL_SANITIZE)
  message(FATAL_ERROR "TESSEL_DEB_HARDENING is for the package build; configure it without TESSEL_SANITIZE")
endif()
if(CMAKE_BUILD_TYPE STREQUAL "Debug")
  message(FATAL_ERROR "TESSEL_DEB_HARDENING needs an optimised build (_FORTIFY_SOURCE does nothing at -O0)")
endif()
find_program(TESSEL_DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT TESSEL_DPKG_BUILDFLAGS)
  message(FATAL_ERROR "TESSEL_DEB_HARDENING needs dpkg-buildflags (the Debian package dpkg-dev)")
endif()

# One kind of flags from dpkg-buildflags, as a list; file names in debug
# information are made relative to the source folder.
function(_tessel_buildflags out kind)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all ${TESSEL_DPKG_BUILDFLAGS} --get ${kind}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed (${rc})")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  set(${out} "${flags}" PARENT_SCOPE)
endfunction()

_tessel_buildflags(tessel_cppflags CPPFLAGS)
_tessel_buildflags(tessel_cflags CFLAGS)
_tessel_buildflags(tessel_cxxflags CXXFLAGS)
_tessel_buildflags(tessel_ldflags LDFLAGS)
foreach(flag IN LISTS tessel_cflags)
  add_compile_options($<$<COMPILE_LANGUAGE:C>:${flag}>)
endforeach()
foreach(flag IN LISTS tessel_cxxflags)
  add_compile_options($<$<COMPILE_LANGUAGE:CXX>:${flag}>)
endforeach()
add_compile_options(${tessel_cppflags})
add_link_options(${tessel_ldflags})
message(STATUS "Debian hardening: ${tessel_cppflags} ${tessel_cxxflags} ${tessel_ldflags}")
