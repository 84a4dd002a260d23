# What an installation holds besides the programs and the library: a desktop
# entry for the launcher and for each tool, and the man pages.

# One desktop entry for the launcher and one for each tool of the registry
# (its menu name and purpose line), from one template.
function(_tessel_desktop_entry file TESSEL_ENTRY_PROGRAM TESSEL_ENTRY_NAME TESSEL_ENTRY_COMMENT)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/tessel.desktop.in "${file}" @ONLY)
endfunction()
set(TESSEL_DESKTOP_FILES "${CMAKE_BINARY_DIR}/share/applications/tessel-kit.desktop")
_tessel_desktop_entry("${TESSEL_DESKTOP_FILES}" tessel-kit "Tessel test kit"
  "Start the kit's tools against a TesselService")
get_property(tessel_tools GLOBAL PROPERTY TESSEL_TOOLS)
foreach(tool IN LISTS tessel_tools)
  get_property(menu GLOBAL PROPERTY TESSEL_TOOL_${tool}_MENU)
  get_property(purpose GLOBAL PROPERTY TESSEL_TOOL_${tool}_PURPOSE)
  set(file "${CMAKE_BINARY_DIR}/share/applications/tessel-kit-${tool}.desktop")
  _tessel_desktop_entry("${file}" ${tool} "${menu}" "${purpose}")
  list(APPEND TESSEL_DESKTOP_FILES "${file}")
endforeach()
install(FILES ${TESSEL_DESKTOP_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# Man pages, compressed as Debian keeps them.
find_program(TESSEL_GZIP gzip)
set(TESSEL_MAN_PAGES)
foreach(page tessel-call.1 TesselServiceLocal.1)
  set(source ${PROJECT_SOURCE_DIR}/man/${page})
  if(TESSEL_GZIP)
    set(page_out ${CMAKE_BINARY_DIR}/man/${page}.gz)
    add_custom_command(OUTPUT ${page_out}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${CMAKE_COMMAND} -E copy ${source} ${CMAKE_BINARY_DIR}/man/${page}
      COMMAND ${TESSEL_GZIP} -9nf ${CMAKE_BINARY_DIR}/man/${page}
      DEPENDS ${source} VERBATIM)
    list(APPEND TESSEL_MAN_PAGES ${page_out})
  else()
    list(APPEND TESSEL_MAN_PAGES ${source})
  endif()
endforeach()
add_custom_target(tessel-man-pages ALL DEPENDS ${TESSEL_MAN_PAGES})
install(FILES ${TESSEL_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# tessel-call's example scripts, one for each interface group.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/Client/tools/examples/
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tessel-kit/examples FILES_MATCHING PATTERN "*.tcall")
