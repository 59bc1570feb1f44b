# Test suites: one GoogleTest binary per suite, registered with ctest as one
# test that writes its results as XML, so scripts/test can total the cases of
# the native, sanitizer and Wine runs the same way.

macro(kd_setup_gtest)
  if(CMAKE_CROSSCOMPILING)
    # No Windows build of GoogleTest is packaged: build it from the sources.
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    set(KD_GTEST_LIBS gtest)
  else()
    find_package(GTest REQUIRED)
    set(KD_GTEST_LIBS GTest::gtest)
  endif()
endmacro()

# kd_add_test_suite(NAME SOURCES files... [LIBS libs...] [OWN_MAIN])
# OWN_MAIN: the suite defines main() itself (for example to act as a child
# process); it still links the test support library.
function(kd_add_test_suite name)
  cmake_parse_arguments(ARG "OWN_MAIN" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_OWN_MAIN)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} kd_testsupport ${KD_GTEST_LIBS})
  else()
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} kd_testmain kd_testsupport ${KD_GTEST_LIBS})
  endif()
  set(results ${CMAKE_BINARY_DIR}/test-results/${name}.xml)
  if(CMAKE_CROSSCOMPILING)
    # Under Wine a path from the root is only absolute with a drive: Z: is "/".
    set(results Z:${results})
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_output=xml:${results})
  set_tests_properties(${name} PROPERTIES TIMEOUT 900)
  if(CMAKE_CROSSCOMPILING)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "WINEPREFIX=${KD_WINE_PREFIX};WINEDEBUG=-all")
  endif()
endfunction()
