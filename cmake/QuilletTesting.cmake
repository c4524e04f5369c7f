# GoogleTest: Debian's native package, or built from Debian's sources for the cross builds.
if(NOT QUILLET_BUILD_TESTS)
  return()
endif()
enable_testing()
if(CMAKE_CROSSCOMPILING)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL)
  # Debian 12's googletest sources define these names themselves.
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
else()
  find_package(GTest REQUIRED)
endif()

# Cross builds run their tests under the toolchain's wine loader (wine64 or the 32-bit wine), in
# a prefix of their own in the build tree. The prefix is made once, by the first test run, as a
# fixture every test needs: null graphics driver (windows without a display), CJK font
# substitutes.
if(CMAKE_CROSSCOMPILING)
  get_filename_component(QUILLET_WINE_LOADER "${CMAKE_CROSSCOMPILING_EMULATOR}" NAME)
  set(QUILLET_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  add_test(NAME wineprefix COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/wineprefix.sh
                                   ${QUILLET_WINE_PREFIX} ${QUILLET_WINE_LOADER})
  set_tests_properties(wineprefix PROPERTIES FIXTURES_SETUP wineprefix)
endif()

# quillet_add_test(NAME source... LIBS lib...): one test executable per module, run as one test.
# Cross builds run it under wine in the build tree's prefix.
function(quillet_add_test name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main GTest::gtest)
  # The programs start at wmain (-municode); GoogleTest's main is narrow.
  get_target_property(linkOptions ${name} LINK_OPTIONS)
  if(linkOptions)
    list(REMOVE_ITEM linkOptions -municode)
    set_target_properties(${name} PROPERTIES LINK_OPTIONS "${linkOptions}")
  endif()
  add_test(NAME ${name} COMMAND ${name})
  if(CMAKE_CROSSCOMPILING)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wineprefix ENVIRONMENT
      "WINEPREFIX=${QUILLET_WINE_PREFIX};WINEDEBUG=-all;DISPLAY=")
  else()
    set_tests_properties(${name} PROPERTIES ENVIRONMENT
      "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0;UBSAN_OPTIONS=print_stacktrace=1")
  endif()
endfunction()
