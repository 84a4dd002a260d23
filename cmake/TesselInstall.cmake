# What an installation holds besides the programs and the library: a desktop
# entry and an icon for the launcher and for each tool, and a man page for
# every program.

# One desktop entry for the launcher and one for each tool of the registry
# (its menu name and purpose line), from one template; each names its icon,
# tessel-kit or tessel-kit-TOOL.
function(_tessel_desktop_entry file TESSEL_ENTRY_PROGRAM TESSEL_ENTRY_NAME TESSEL_ENTRY_COMMENT TESSEL_ENTRY_ICON)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/tessel.desktop.in "${file}" @ONLY)
endfunction()
set(TESSEL_DESKTOP_FILES "${CMAKE_BINARY_DIR}/share/applications/tessel-kit.desktop")
_tessel_desktop_entry("${TESSEL_DESKTOP_FILES}" tessel-kit "Tessel test kit"
  "Start the kit's tools against a TesselService" tessel-kit)
get_property(tessel_tools GLOBAL PROPERTY TESSEL_TOOLS)
foreach(tool IN LISTS tessel_tools)
  get_property(menu GLOBAL PROPERTY TESSEL_TOOL_${tool}_MENU)
  get_property(purpose GLOBAL PROPERTY TESSEL_TOOL_${tool}_PURPOSE)
  set(file "${CMAKE_BINARY_DIR}/share/applications/tessel-kit-${tool}.desktop")
  _tessel_desktop_entry("${file}" ${tool} "${menu}" "${purpose}" tessel-kit-${tool})
  list(APPEND TESSEL_DESKTOP_FILES "${file}")
endforeach()
install(FILES ${TESSEL_DESKTOP_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The icons: the launcher's drawn once, each tool's from one template with
# its label (its name after "TSTestTool": 1, 8, SP2, 2SP2) in its family's
# colour, so a new tool gets its icon from its build line alone.
set(TESSEL_ICON_DIR ${CMAKE_BINARY_DIR}/share/icons/hicolor/scalable/apps)
configure_file(${PROJECT_SOURCE_DIR}/packaging/icons/tessel-kit.svg ${TESSEL_ICON_DIR}/tessel-kit.svg COPYONLY)
set(TESSEL_ICONS ${TESSEL_ICON_DIR}/tessel-kit.svg)
foreach(tool IN LISTS tessel_tools)
  get_property(family GLOBAL PROPERTY TESSEL_TOOL_${tool}_FAMILY)
  set(ICON_TOOL ${tool})
  string(REGEX REPLACE "^TSTestTool" "" ICON_LABEL "${tool}")
  string(LENGTH "${ICON_LABEL}" length)
  if(length LESS_EQUAL 1)
    set(ICON_FONT_SIZE 36)
    set(ICON_BASELINE 45)
  elseif(length EQUAL 2)
    set(ICON_FONT_SIZE 28)
    set(ICON_BASELINE 43)
  elseif(length EQUAL 3)
    set(ICON_FONT_SIZE 21)
    set(ICON_BASELINE 41)
  else()
    set(ICON_FONT_SIZE 16)
    set(ICON_BASELINE 39)
  endif()
  if(family STREQUAL soap2)
    set(ICON_COLOUR "#138a72")
    set(ICON_FAMILY "SOAP 2.0")
  else()
    set(ICON_COLOUR "#2f6fd6")
    set(ICON_FAMILY "SOAP 1.0")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/packaging/icons/tool.svg.in ${TESSEL_ICON_DIR}/tessel-kit-${tool}.svg @ONLY)
  list(APPEND TESSEL_ICONS ${TESSEL_ICON_DIR}/tessel-kit-${tool}.svg)
endforeach()
install(FILES ${TESSEL_ICONS} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Man pages, compressed as Debian keeps them: one written by hand for each
# program with options of its own, and one for each tool from one template
# (the tools share their options) with the tool's facts from the registry.
set(TESSEL_MAN_SOURCES)
foreach(page tessel-call.1 TesselServiceLocal.1 tessel-kit.1 tessel-kat.1 tessel-soap.1 tessel-tour.1)
  list(APPEND TESSEL_MAN_SOURCES ${PROJECT_SOURCE_DIR}/man/${page})
endforeach()
foreach(tool IN LISTS tessel_tools)
  get_property(family GLOBAL PROPERTY TESSEL_TOOL_${tool}_FAMILY)
  get_property(TOOL_MENU GLOBAL PROPERTY TESSEL_TOOL_${tool}_MENU)
  get_property(TOOL_PURPOSE GLOBAL PROPERTY TESSEL_TOOL_${tool}_PURPOSE)
  get_property(description GLOBAL PROPERTY TESSEL_TOOL_${tool}_DESCRIPTION)
  set(TOOL ${tool})
  string(TOUPPER ${tool} TOOL_UPPER)
  set(TOOL_DEFAULT_URI "http://localhost:8080${description}")
  if(family STREQUAL soap2)
    set(TOOL_FAMILY_TEXT "It is a SOAP 2.0 tool: Connect makes a SOAP 2.0 client object from the WSDL
description chosen in its list, and every operation is called through that object;
a fault is shown under the operation's own error title.")
  else()
    set(TOOL_FAMILY_TEXT "It is a SOAP 1.0 tool: Connect fetches the service description once and keeps it,
and every request is built from the description's method templates.")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/man/tessel-tool.1.in ${CMAKE_BINARY_DIR}/man-pages/${tool}.1 @ONLY)
  list(APPEND TESSEL_MAN_SOURCES ${CMAKE_BINARY_DIR}/man-pages/${tool}.1)
endforeach()
find_program(TESSEL_GZIP gzip)
set(TESSEL_MAN_PAGES)
foreach(source IN LISTS TESSEL_MAN_SOURCES)
  get_filename_component(page ${source} NAME)
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
