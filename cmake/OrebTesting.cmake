# Tests run through wine (a cross build: CMAKE_CROSSCOMPILING_EMULATOR is the build's runner of the
# tests) need the fixture wine_server: a wine server kept up, with wine's background services,
# from before the first of them to after the last (scripts/wine-test-server.sh). OREB_WINE_TEST
# holds the test properties that ask for it (empty in a native build).
if(CMAKE_CROSSCOMPILING_EMULATOR)
  add_test(NAME wine_server_start COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/wine-test-server.sh start ${CMAKE_BINARY_DIR})
  add_test(NAME wine_server_stop COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/wine-test-server.sh stop ${CMAKE_BINARY_DIR})
  set_tests_properties(wine_server_start PROPERTIES FIXTURES_SETUP wine_server TIMEOUT 300 LABELS wine_server)
  set_tests_properties(wine_server_stop PROPERTIES FIXTURES_CLEANUP wine_server TIMEOUT 120 LABELS wine_server)
  set(OREB_WINE_TEST FIXTURES_REQUIRED wine_server)
else()
  set(OREB_WINE_TEST "")
endif()

# oreb_display_lock(<labels> <out>)
# Tests labelled `display` open windows on the one display and move its pointer: each takes the
# lock x_display, so that no two of them run at once, also in a parallel ctest run. Sets <out> to
# the test properties that take it (empty for other labels).
function(oreb_display_lock labels out)
  if("display" IN_LIST labels)
    set(${out} RESOURCE_LOCK x_display PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

# oreb_add_test(<name> SOURCES ... LIBS ... [LABELS ...])
# One GoogleTest executable; its cases are discovered when the tests run, so cross-built
# executables are listed through the emulator (wine) at test time, not at build time.
function(oreb_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  set(labels ${ARG_LABELS})
  if(NOT labels)
    set(labels unit)
  endif()
  oreb_display_lock("${labels}" lock)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    PROPERTIES LABELS "${labels}" TIMEOUT 300 ${lock} ${OREB_WINE_TEST})
endfunction()
