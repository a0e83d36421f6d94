include_guard(GLOBAL)
# tavrin_wine_test(NAME LABEL label [LIBS lib...] [DEPENDS target...]
#                  [SERVERS [--fixed-ports] [--config-rule R] [--package-rule R]])
# Declares the Wine test program NAME (tests/wine/NAME.cpp) in one place:
#  - LABEL: the subsystem it tests (ctest -L);
#  - LIBS: what it links beyond the test support and the Windows layer;
#  - DEPENDS: programs and DLLs it runs or loads, built before it;
#  - SERVERS: it talks to the two local test servers, started around it by
#    tests/http/run-with-servers with these switches (--fixed-ports: the development hosts'
#    ports 18731 and 18732, which the control is built with).
# Every Wine test holds the resource lock `wine`: they share the prefix's registry (the client's
# key, the registered control, the prefix's Windows version), its folders and the display, so
# they run one at a time; those on fixed ports also hold `fixed-ports` (the demo and the install
# benchmark take those ports too: run them apart from the tests).
function(tavrin_wine_test name)
  cmake_parse_arguments(PARSE_ARGV 1 T "" "LABEL" "LIBS;DEPENDS;SERVERS")
  if(NOT T_LABEL)
    message(FATAL_ERROR "tavrin_wine_test(${name}): LABEL is required")
  endif()
  add_executable(${name} ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp)
  target_link_libraries(${name} PRIVATE wine_test_support tavrin_win_libs ${T_LIBS} gtest_main)
  # Every test may register the control or start the stand-ins.
  add_dependencies(${name} tavrin_ocx tavrin-host testclient Wexlog ${T_DEPENDS})
  set(locks wine)
  if(DEFINED T_SERVERS OR "SERVERS" IN_LIST T_KEYWORDS_MISSING_VALUES)
    set(emulator ${CMAKE_SOURCE_DIR}/tests/http/run-with-servers ${T_SERVERS}
      ${CMAKE_CROSSCOMPILING_EMULATOR})
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${emulator}")
    if("--fixed-ports" IN_LIST T_SERVERS)
      list(APPEND locks fixed-ports)
    endif()
  endif()
  add_test(NAME wine_${name} COMMAND ${name})
  set_tests_properties(wine_${name} PROPERTIES
    LABELS "${T_LABEL};wine" RESOURCE_LOCK "${locks}" TIMEOUT 600)
endfunction()

# tavrin_wine_test_under_locale(NAME SUFFIX LOCALE CODE_PAGE FILTER)
# Runs the Wine test program NAME once more, as wine_NAME_SUFFIX: only the tests FILTER names,
# under the Linux locale LOCALE (scripts/wine-env's TAVRIN_WINE_LOCALE) instead of the Korean
# one. The tests are told the ANSI code page that locale gives (TAVRIN_TEST_CODE_PAGE) and check
# that they ran under it.
function(tavrin_wine_test_under_locale name suffix locale code_page filter)
  add_test(NAME wine_${name}_${suffix} COMMAND ${name} --gtest_filter=${filter})
  get_test_property(wine_${name} LABELS labels)
  get_test_property(wine_${name} RESOURCE_LOCK locks)
  set_tests_properties(wine_${name}_${suffix} PROPERTIES
    LABELS "${labels}" RESOURCE_LOCK "${locks}" TIMEOUT 300
    ENVIRONMENT "TAVRIN_WINE_LOCALE=${locale};TAVRIN_TEST_CODE_PAGE=${code_page}")
endfunction()

# tavrin_wine_test_with_servers(NAME SUFFIX FILTER SWITCH...)
# Runs the Wine test program NAME once more, as wine_NAME_SUFFIX: only the tests FILTER names,
# with the local servers started by tests/http/run-with-servers with these switches instead of
# its own (e.g. another package server, an emulated line in front).
function(tavrin_wine_test_with_servers name suffix filter)
  add_test(NAME wine_${name}_${suffix}
    COMMAND ${CMAKE_SOURCE_DIR}/tests/http/run-with-servers ${ARGN}
            ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${name}> --gtest_filter=${filter})
  get_test_property(wine_${name} LABELS labels)
  get_test_property(wine_${name} RESOURCE_LOCK locks)
  set_tests_properties(wine_${name}_${suffix} PROPERTIES
    LABELS "${labels}" RESOURCE_LOCK "${locks}" TIMEOUT 300)
endfunction()
