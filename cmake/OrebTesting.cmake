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
    PROPERTIES LABELS "${labels}" TIMEOUT 300 ${lock})
endfunction()
