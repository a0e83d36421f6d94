# The GIF walk under libFuzzer, and a bounded run of it as a test (label widgets). The native
# tree compiles with g++, so clang is called directly; without clang the test reports itself
# skipped. Included from tests/CMakeLists.txt.
find_program(TAVRIN_CLANGXX NAMES clang++-14 clang++)
set(fuzz_dir ${CMAKE_SOURCE_DIR}/tests/fuzz)
if(TAVRIN_CLANGXX)
  set(fuzzer ${CMAKE_BINARY_DIR}/bin/widgets_gif_parser_fuzz)
  add_custom_command(
    OUTPUT ${fuzzer}
    COMMAND ${TAVRIN_CLANGXX} -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined
            -I ${CMAKE_SOURCE_DIR} ${fuzz_dir}/gif_parser_fuzz.cpp
            ${CMAKE_SOURCE_DIR}/widgets/gif_parser.cpp -o ${fuzzer}
    DEPENDS ${fuzz_dir}/gif_parser_fuzz.cpp ${CMAKE_SOURCE_DIR}/widgets/gif_parser.cpp
            ${CMAKE_SOURCE_DIR}/widgets/gif_parser.h
    COMMENT "Building the GIF walk fuzz target with clang")
  add_custom_target(widgets_gif_parser_fuzz ALL DEPENDS ${fuzzer})
  # Seeds: the hand-made ones and the generated picture; new inputs go to the build folder.
  set(corpus ${CMAKE_BINARY_DIR}/fuzz/widgets_gif_corpus)
  set(seeds ${CMAKE_BINARY_DIR}/fuzz/widgets_gif_seeds)
  configure_file(${CMAKE_SOURCE_DIR}/resources/board.gif ${seeds}/board.gif COPYONLY)
  add_test(NAME widgets_gif_parser_fuzz
    COMMAND sh -c "mkdir -p '${corpus}' && exec '${fuzzer}' -max_total_time=15 -timeout=10 \
-rss_limit_mb=1024 -print_final_stats=1 '${corpus}' '${fuzz_dir}/gif_seeds' '${seeds}'")
else()
  add_test(NAME widgets_gif_parser_fuzz
    COMMAND sh -c "echo 'clang++ not found: the GIF walk fuzz target is skipped'; exit 77")
  set_tests_properties(widgets_gif_parser_fuzz PROPERTIES SKIP_RETURN_CODE 77)
endif()
set_tests_properties(widgets_gif_parser_fuzz PROPERTIES LABELS widgets TIMEOUT 120)
