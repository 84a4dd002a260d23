# What an installation holds besides the programs and the library: a desktop
# entry for the launcher and for each tool, and the man pages.

# One desktop entry per program, from this list and one template:
# program|name shown in menus|comment
set(TESSEL_DESKTOP_ENTRIES
  "tessel-kit|Tessel test kit|Start the kit's tools against a TesselService"
  "TSTestTool1|TesselService TestTool #1 (Query&FolioDB)|Queries and the Folio content database, over SOAP 1.0"
  "TSTestTool2|TesselService TestTool #2 (CollabDB)|Sharing, attendees and share fields, over SOAP 1.0"
  "TSTestTool3|TesselService TestTool #3 (LogDB & ResACL)|The log database and resource access lists, over SOAP 1.0"
  "TSTestTool4|TesselService TestTool #4 (ACL)|Access lists of items and their messages, over SOAP 1.0"
  "TSTestTool5|TesselService TestTool #5 (Others)|Settings queries and the admin interface, over SOAP 1.0"
  "TSTestTool6|TesselService TestTool #6 (V1.1 #1)|VO lists, URIs and attributes of version 1.1, over SOAP 1.0"
  "TSTestTool8|TesselService TestTool #8 (Folio Resource)|Folio resources of version 1.1, over SOAP 1.0"
  "TSTestToolSP2|TesselService TestTool for SOAP 2.0|Logs and the operations of version 1.1, over SOAP 2.0"
  "TSTestTool2SP2|TesselService TestTool of ResourceDB for SOAP 2.0|Folio resources, over SOAP 2.0")

set(TESSEL_DESKTOP_FILES)
foreach(entry IN LISTS TESSEL_DESKTOP_ENTRIES)
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 TESSEL_ENTRY_PROGRAM)
  list(GET fields 1 TESSEL_ENTRY_NAME)
  list(GET fields 2 TESSEL_ENTRY_COMMENT)
  if(TESSEL_ENTRY_PROGRAM STREQUAL "tessel-kit")
    set(file "${CMAKE_BINARY_DIR}/share/applications/tessel-kit.desktop")
  else()
    set(file "${CMAKE_BINARY_DIR}/share/applications/tessel-kit-${TESSEL_ENTRY_PROGRAM}.desktop")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/tessel.desktop.in "${file}" @ONLY)
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
