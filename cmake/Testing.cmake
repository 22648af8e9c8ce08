# GoogleTest from Debian's sources, built with the cross compiler.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(t gtest gtest_main)
  target_link_options(${t} INTERFACE -static -static-libgcc -static-libstdc++)
endforeach()

# vantelo_add_test(NAME <ctest name> SOURCES ... [LIBS ...] [ARGS ...] [PROPERTIES ...] [OWN_MAIN]
#                  [GUARD_FREED_MEMORY])
# OWN_MAIN: the program brings its own main (for child-process modes); else gtest_main.
# ARGS: the ctest entry's arguments to the program (a --gtest_filter, for instance).
# GUARD_FREED_MEMORY: deleted memory is poisoned and held back (tests/FreedMemoryGuard.cpp).
# One test program per unit; the ctest entry carries the unit's name. Tests find
# their fixtures through VANTELO_TEST_DATA and their build folder through VANTELO_BUILD_DIR.
function(vantelo_add_test)
  cmake_parse_arguments(T "OWN_MAIN;GUARD_FREED_MEMORY" "NAME" "SOURCES;LIBS;ARGS;PROPERTIES" ${ARGN})
  set(exe test_${T_NAME})
  string(REPLACE "-" "_" exe ${exe})
  add_executable(${exe} ${T_SOURCES})
  target_link_libraries(${exe} PRIVATE project_options ${T_LIBS} test_support gtest)
  if(NOT T_OWN_MAIN)
    target_link_libraries(${exe} PRIVATE gtest_main)
  endif()
  if(T_GUARD_FREED_MEMORY)
    target_link_libraries(${exe} PRIVATE freed_memory_guard)
  endif()
  target_compile_definitions(${exe} PRIVATE
    VANTELO_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data"
    VANTELO_BUILD_DIR="${CMAKE_BINARY_DIR}")
  add_test(NAME ${T_NAME} COMMAND ${exe} ${T_ARGS})
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT 300 ${T_PROPERTIES})
endfunction()
