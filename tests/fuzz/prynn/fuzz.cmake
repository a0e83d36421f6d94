# The package decoder under libFuzzer, and a bounded run of it as a test (label prynn). The
# native tree compiles with g++, so clang is called directly on the portable sources; without
# clang the test reports itself skipped. Included from tests/CMakeLists.txt.
find_program(TAVRIN_CLANGXX NAMES clang++-14 clang++)
set(prynn_fuzz_dir ${CMAKE_SOURCE_DIR}/tests/fuzz/prynn)
if(TAVRIN_CLANGXX)
  set(prynn_fuzzer ${CMAKE_BINARY_DIR}/bin/prynn_decode_fuzz)
  set(prynn_fuzz_sources
    ${prynn_fuzz_dir}/decode_fuzz.cpp
    ${CMAKE_SOURCE_DIR}/libs/prynn/lzf_decode.cpp
    ${CMAKE_SOURCE_DIR}/libs/prynn/lzf_encode.cpp
    ${CMAKE_SOURCE_DIR}/libs/prynn/lzf_block.cpp
    ${CMAKE_SOURCE_DIR}/libs/prynn/lzf_stream_decode.cpp
    ${CMAKE_SOURCE_DIR}/libs/prynn/lzf_stream_encode.cpp)
  file(GLOB prynn_fuzz_headers ${CMAKE_SOURCE_DIR}/libs/prynn/*.h)
  add_custom_command(
    OUTPUT ${prynn_fuzzer}
    COMMAND ${TAVRIN_CLANGXX} -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined
            -fno-sanitize-recover=undefined -I ${CMAKE_SOURCE_DIR} ${prynn_fuzz_sources}
            -o ${prynn_fuzzer}
    DEPENDS ${prynn_fuzz_sources} ${prynn_fuzz_headers}
    COMMENT "Building the package decoder fuzz target with clang")
  add_custom_target(prynn_decode_fuzz ALL DEPENDS ${prynn_fuzzer})
  # New inputs go to the build folder; the seeds stay as they are.
  set(prynn_corpus ${CMAKE_BINARY_DIR}/fuzz/prynn_corpus)
  add_test(NAME prynn_decode_fuzz
    COMMAND sh -c "mkdir -p '${prynn_corpus}' && cd '${prynn_corpus}/..' && exec '${prynn_fuzzer}' \
-max_total_time=15 -timeout=10 -max_len=140000 -rss_limit_mb=1024 -print_final_stats=1 \
'${prynn_corpus}' '${prynn_fuzz_dir}/seeds'")
else()
  add_test(NAME prynn_decode_fuzz
    COMMAND sh -c "echo 'clang++ not found: the package decoder fuzz target is skipped'; exit 77")
  set_tests_properties(prynn_decode_fuzz PROPERTIES SKIP_RETURN_CODE 77)
endif()
set_tests_properties(prynn_decode_fuzz PROPERTIES LABELS prynn TIMEOUT 120)
