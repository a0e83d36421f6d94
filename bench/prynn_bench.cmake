# The package decoder's benchmark (native tree; included from bench/CMakeLists.txt): against
# Debian's liblzf here, then a Windows build (prynn_bench_win, made in libs/prynn) under Wine on
# the same package, both run by prynn_bench.sh.
add_executable(prynn_bench ${CMAKE_CURRENT_LIST_DIR}/prynn_bench.cpp)
target_link_libraries(prynn_bench PRIVATE prynn_codec prynn_reference)
add_custom_target(bench_prynn
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/prynn_bench.sh $<TARGET_FILE:prynn_bench>
          ${CMAKE_BINARY_DIR}/bench
  DEPENDS prynn_bench
  USES_TERMINAL
  COMMENT "prynn: package decompression, ours against liblzf, and a Windows build under Wine")
add_dependencies(bench bench_prynn)
