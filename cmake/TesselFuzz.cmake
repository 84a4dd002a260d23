# Fuzz targets and their seeds.
#
# tessel_add_fuzzer(<name> SOURCES <files> LIBRARIES <libraries> CORPUS <folder> [OPTIONS <flags>])
#   With TESSEL_FUZZ on: a libFuzzer program (with AddressSanitizer and
#   UndefinedBehaviorSanitizer), listed in <build>/fuzzers.txt, one line each
#   of name, seed folder and the libFuzzer flags it runs with, separated by
#   tabs, which scripts/fuzz.sh runs. Otherwise nothing.
#
# tessel_add_fuzz_corpus(<generator> SOURCES <files> LIBRARIES <libraries> FOLDER <folder>)
#   The program that writes a room's seeds (it takes the folder to write), and
#   a test that it writes exactly what is committed in <folder>.

function(tessel_add_fuzzer name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "CORPUS" "SOURCES;LIBRARIES;OPTIONS")
  if(NOT TESSEL_FUZZ)
    return()
  endif()
  add_executable(${name} ${arg_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${name} PRIVATE ${arg_LIBRARIES})
  list(JOIN arg_OPTIONS " " options)
  set_property(GLOBAL APPEND PROPERTY TESSEL_FUZZERS "${name}\t${arg_CORPUS}\t${options}")
  get_property(fuzzers GLOBAL PROPERTY TESSEL_FUZZERS)
  list(JOIN fuzzers "\n" lines)
  file(WRITE ${CMAKE_BINARY_DIR}/fuzzers.txt "${lines}\n")
endfunction()

function(tessel_add_fuzz_corpus generator)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "FOLDER" "SOURCES;LIBRARIES")
  add_executable(${generator} ${arg_SOURCES})
  target_link_libraries(${generator} PRIVATE ${arg_LIBRARIES})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${generator}-seeds)
  add_test(NAME ${generator}_matches_the_committed_seeds
    COMMAND sh -c "rm -rf \"$1\" && \"$0\" \"$1\" && diff -r \"$1\" \"$2\" || { echo \"the committed seeds are not what $(basename \"$0\") writes: remove $2/* and run it with $2\"; exit 1; }"
            $<TARGET_FILE:${generator}> ${out} ${arg_FOLDER})
endfunction()
