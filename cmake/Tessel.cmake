# One build function per kind of target: a tool, a test, a fuzz target.
include(GoogleTest)

# Every SOAP 1.0 and every SOAP 2.0 tool definition, for the programs that
# carry them all (the tour, the tests). Definitions register themselves when
# their object files are linked, so they are linked whole.
add_library(TesselSoap1Tools INTERFACE)
add_library(TesselSoap2Tools INTERFACE)

# The registry of the kit's programs, gathered as their build lines run:
#   TESSEL_PROGRAMS  every installed program, in the order its build line ran
#   TESSEL_TOOLS     the tools, each with TESSEL_TOOL_<name>_{FAMILY,PURPOSE,MENU,DESCRIPTION}
# tessel_write_registry() turns it into the files the launcher, the desktop
# entries, the run command and the tests read; nothing else lists the tools.

# tessel_install_programs(target...): installs programs and registers them.
function(tessel_install_programs)
  install(TARGETS ${ARGN} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  set_property(GLOBAL APPEND PROPERTY TESSEL_PROGRAMS ${ARGN})
endfunction()

# Where each family's tools open on the local service (the launcher and the
# run command put it after the service's base URL).
set(TESSEL_SOAP1_DESCRIPTION "/TesselService/TesselServiceCore.xml")
set(TESSEL_SOAP2_DESCRIPTION "/TesselService2/TesselServiceCore.wsdl")

# The tool's definition on its family's core, its program on that family's
# shared main and window, its place among the family's tools, its install
# rule and its facts in the registry.
function(_tessel_add_tool name family_name family core description)
  cmake_parse_arguments(T "" "PURPOSE;MENU;DESCRIPTION" "SOURCES" ${ARGN})
  if(NOT T_PURPOSE OR NOT T_MENU)
    message(FATAL_ERROR "the tool ${name} needs a PURPOSE line (the launcher's) and a MENU name (its desktop entry's)")
  endif()
  if(T_DESCRIPTION)
    set(description "${T_DESCRIPTION}")
  endif()
  add_library(${name}Definition STATIC ${T_SOURCES})
  target_link_libraries(${name}Definition PUBLIC ${core})
  add_executable(${name} $<TARGET_OBJECTS:${core}Main>)
  target_link_libraries(${name} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${name}Definition>" ${core}Window)
  target_link_libraries(${family} INTERFACE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${name}Definition>")
  tessel_install_programs(${name})
  set_property(GLOBAL APPEND PROPERTY TESSEL_TOOLS ${name})
  set_property(GLOBAL PROPERTY TESSEL_TOOL_${name}_FAMILY ${family_name})
  set_property(GLOBAL PROPERTY TESSEL_TOOL_${name}_PURPOSE "${T_PURPOSE}")
  set_property(GLOBAL PROPERTY TESSEL_TOOL_${name}_MENU "${T_MENU}")
  set_property(GLOBAL PROPERTY TESSEL_TOOL_${name}_DESCRIPTION "${description}")
endfunction()

# tessel_add_soap1_tool(NAME TSTestTool4 SOURCES Tool4.cpp PURPOSE "what it is for" MENU "its menu name"
#                       [DESCRIPTION /path/on/the/local/service])
function(tessel_add_soap1_tool)
  cmake_parse_arguments(T "" "NAME" "" ${ARGN})
  _tessel_add_tool(${T_NAME} soap1 TesselSoap1Tools TesselTester "${TESSEL_SOAP1_DESCRIPTION}" ${T_UNPARSED_ARGUMENTS})
endfunction()

# tessel_add_soap2_tool(NAME TSTestToolSP2 SOURCES ToolSP2.cpp PURPOSE "..." MENU "..." [DESCRIPTION ...])
function(tessel_add_soap2_tool)
  cmake_parse_arguments(T "" "NAME" "" ${ARGN})
  _tessel_add_tool(${T_NAME} soap2 TesselSoap2Tools TesselTester2 "${TESSEL_SOAP2_DESCRIPTION}" ${T_UNPARSED_ARGUMENTS})
endfunction()

# A text as a C++ string literal.
function(_tessel_cxx_literal out text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

# Writes the registry once every build line has run:
#   generated/registry/TesselRegistry.h  the tools and the programs, for the launcher and the tests
#   tools.txt                            PROGRAM FAMILY DESCRIPTION-PATH a line, for scripts/run.sh
# and makes the target tessel-programs, which builds every registered program.
function(tessel_write_registry)
  get_property(tools GLOBAL PROPERTY TESSEL_TOOLS)
  get_property(programs GLOBAL PROPERTY TESSEL_PROGRAMS)
  set(tool_rows "")
  set(tool_lines "")
  foreach(tool IN LISTS tools)
    get_property(family GLOBAL PROPERTY TESSEL_TOOL_${tool}_FAMILY)
    get_property(purpose GLOBAL PROPERTY TESSEL_TOOL_${tool}_PURPOSE)
    get_property(menu GLOBAL PROPERTY TESSEL_TOOL_${tool}_MENU)
    get_property(description GLOBAL PROPERTY TESSEL_TOOL_${tool}_DESCRIPTION)
    _tessel_cxx_literal(purpose "${purpose}")
    _tessel_cxx_literal(menu "${menu}")
    string(TOUPPER "${family}" family_enum)
    string(REPLACE "SOAP" "Soap" family_enum "${family_enum}")
    string(APPEND tool_rows "    {\"${tool}\", Family::${family_enum}, ${purpose}, ${menu}, \"${description}\"},\n")
    string(APPEND tool_lines "${tool} ${family} ${description}\n")
  endforeach()
  set(program_rows "")
  foreach(program IN LISTS programs)
    string(APPEND program_rows "    \"${program}\",\n")
  endforeach()
  set(TESSEL_REGISTRY_TOOLS "${tool_rows}")
  set(TESSEL_REGISTRY_PROGRAMS "${program_rows}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/TesselRegistry.h.in
    ${CMAKE_BINARY_DIR}/generated/registry/TesselRegistry.h @ONLY)
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/tools.txt CONTENT "${tool_lines}")
  add_custom_target(tessel-programs DEPENDS ${programs})
endfunction()

# The registry's header, for whatever lists the tools or the programs.
add_library(TesselRegistry INTERFACE)
target_include_directories(TesselRegistry INTERFACE ${CMAKE_BINARY_DIR}/generated/registry)

# The kit's version, from project(): every program's --version says it.
configure_file(${CMAKE_CURRENT_LIST_DIR}/TesselKitVersion.h.in ${CMAKE_BINARY_DIR}/generated/version/TesselKitVersion.h @ONLY)
add_library(TesselKitVersion INTERFACE)
target_include_directories(TesselKitVersion INTERFACE ${CMAKE_BINARY_DIR}/generated/version)

# tessel_add_test(NAME foo_tests SOURCES a.cpp b.cpp [LIBS ...] [ENVIRONMENT VAR=value ...] [WIDGETS])
# A GoogleTest program on the test-support library; every test in it runs
# under ctest on its own. WIDGETS: its tests drive windows, offscreen unless
# QT_QPA_PLATFORM says otherwise.
function(tessel_add_test)
  cmake_parse_arguments(T "WIDGETS" "NAME;TIMEOUT" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE TesselTesting ${T_LIBS})
  if(T_WIDGETS)
    target_link_libraries(${T_NAME} PRIVATE TesselWidgetsTestMain)
  else()
    target_link_libraries(${T_NAME} PRIVATE GTest::gtest_main)
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${T_ENVIRONMENT}")
endfunction()

# tessel_add_fuzzer() and tessel_add_fuzz_corpus(): libFuzzer targets and their seeds.
include(${CMAKE_CURRENT_LIST_DIR}/TesselFuzz.cmake)
