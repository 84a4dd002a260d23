# One build function per kind of target: a tool, a test, a fuzz target.
include(GoogleTest)

# Every SOAP 1.0 and every SOAP 2.0 tool definition, for the programs that
# carry them all (the tour, the tests). Definitions register themselves when
# their object files are linked, so they are linked whole.
add_library(TesselSoap1Tools INTERFACE)
add_library(TesselSoap2Tools INTERFACE)

# The tool's definition on its family's core, its program on that family's
# shared main and window, its place among the family's tools, and its install rule.
function(_tessel_add_tool name family core)
  cmake_parse_arguments(T "" "" "SOURCES" ${ARGN})
  add_library(${name}Definition STATIC ${T_SOURCES})
  target_link_libraries(${name}Definition PUBLIC ${core})
  add_executable(${name} $<TARGET_OBJECTS:${core}Main>)
  target_link_libraries(${name} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${name}Definition>" ${core}Window)
  target_link_libraries(${family} INTERFACE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${name}Definition>")
  install(TARGETS ${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()

# tessel_add_soap1_tool(NAME TSTestTool4 SOURCES Tool4.cpp)
function(tessel_add_soap1_tool)
  cmake_parse_arguments(T "" "NAME" "SOURCES" ${ARGN})
  _tessel_add_tool(${T_NAME} TesselSoap1Tools TesselTester SOURCES ${T_SOURCES})
endfunction()

# tessel_add_soap2_tool(NAME TSTestToolSP2 SOURCES ToolSP2.cpp)
function(tessel_add_soap2_tool)
  cmake_parse_arguments(T "" "NAME" "SOURCES" ${ARGN})
  _tessel_add_tool(${T_NAME} TesselSoap2Tools TesselTester2 SOURCES ${T_SOURCES})
endfunction()

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
