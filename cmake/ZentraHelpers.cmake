# zentra_test(NAME SOURCES... LIBS libs... [LABELS labels...])
# One GoogleTest binary registered with CTest. Every test gets the label "pure" unless it names
# "gui" (needs Qt widgets, runs offscreen); "integration" marks tests that start a server or
# need Python. The sanitizer tree runs everything that is not "gui".
function(zentra_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  set(labels ${T_LABELS})
  if(NOT "gui" IN_LIST labels)
    list(APPEND labels pure)
  endif()
  gtest_discover_tests(${name} NO_PRETTY_VALUES
    PROPERTIES LABELS "${labels}"
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ZENTRA_BUILD_DIR=${CMAKE_BINARY_DIR};ZENTRA_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
    DISCOVERY_TIMEOUT 60)
endfunction()

# zentra_fuzz(NAME SOURCES... LIBS libs... CORPUS dir) builds a libFuzzer target when ZENTRA_FUZZ
# is on and lists it, with its seed corpus folder, for tools/fuzz.sh.
function(zentra_fuzz name)
  if(NOT ZENTRA_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  file(APPEND ${CMAKE_BINARY_DIR}/fuzz_targets.txt "${name} ${F_CORPUS}\n")
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()

# zentra_embed_text(TARGET SYMBOL NAMESPACE FILE) adds a generated source to TARGET that holds
# FILE's bytes as `const std::string_view NAMESPACE::SYMBOL`.
function(zentra_embed_text target symbol namespace file)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/embedded_${symbol}.cpp)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${file} -DOUTPUT=${out} -DSYMBOL=${symbol}
            -DNAMESPACE=${namespace} -P ${CMAKE_SOURCE_DIR}/cmake/EmbedText.cmake
    DEPENDS ${file} ${CMAKE_SOURCE_DIR}/cmake/EmbedText.cmake
    VERBATIM)
  target_sources(${target} PRIVATE ${out})
endfunction()
