# Helpers shared by every CMakeLists of the tree.

# Adds every immediate subdirectory of the current source directory that has a
# CMakeLists.txt, in name order. Lets each module own its build file.
function(wl_add_subdirectories)
  file(GLOB children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child}
       AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# wl_test(NAME SOURCES ... [LIBS ...] [LABELS ...])
# A GoogleTest executable whose cases are registered with ctest. Label "unit"
# runs in both presets; "e2e" only in the default one.
function(wl_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main Threads::Threads)
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  gtest_discover_tests(${name}
    PROPERTIES LABELS "${T_LABELS}"
    ENVIRONMENT "WL_BUILD_DIR=${CMAKE_BINARY_DIR}"
    ENVIRONMENT_MODIFICATION "WL_SOURCE_DIR=set:${CMAKE_SOURCE_DIR}"
    DISCOVERY_TIMEOUT 60)
endfunction()

# wl_fuzzer(NAME SOURCES... LIBS ... [SECONDS n])
# A libFuzzer target, built only with WL_FUZZ (clang). ctest runs it briefly
# under the sanitizers; run it by hand for longer.
function(wl_fuzzer name)
  cmake_parse_arguments(F "" "SECONDS" "SOURCES;LIBS" ${ARGN})
  if(NOT WL_FUZZ)
    return()
  endif()
  if(NOT F_SECONDS)
    set(F_SECONDS 10)
  endif()
  add_executable(${name} ${F_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${F_LIBS} -fsanitize=fuzzer)
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus)
  file(MAKE_DIRECTORY ${corpus})
  add_test(NAME ${name}
    COMMAND ${name} -max_total_time=${F_SECONDS} -rss_limit_mb=2048 ${corpus})
  set_tests_properties(${name} PROPERTIES LABELS fuzz)
endfunction()

# wl_module(NAME [SHARED] [LIBS ...])
# Builds a library NAME from every *.cpp of the current directory (tests and
# fuzzers excluded), one test program per tests/*_test.cpp (label "e2e" when the
# name ends in _e2e_test, else "unit") and one fuzzer per fuzz/*_fuzz.cpp.
# EXCLUDE names sources (file names) that stay out of the library.
function(wl_module name)
  cmake_parse_arguments(M "SHARED" "" "LIBS;EXCLUDE;TEST_LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "(_test|_fuzz)\\.cpp$")
  foreach(excluded IN LISTS M_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "/${excluded}$")
  endforeach()
  if(M_SHARED)
    add_library(${name} SHARED ${sources})
  elseif(sources)
    add_library(${name} STATIC ${sources})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${M_LIBS})
    set(M_LIBS "")
  endif()
  if(M_LIBS)
    target_link_libraries(${name} PUBLIC ${M_LIBS})
  endif()
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*_test.cpp)
  foreach(test_source IN LISTS tests)
    get_filename_component(test_name ${test_source} NAME_WE)
    set(labels unit)
    if(test_name MATCHES "_e2e_test$")
      set(labels e2e)
    endif()
    wl_test(${name}_${test_name} SOURCES ${test_source} LIBS ${name} ${M_TEST_LIBS} LABELS ${labels})
  endforeach()
  file(GLOB fuzzers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/*_fuzz.cpp)
  foreach(fuzz_source IN LISTS fuzzers)
    get_filename_component(fuzz_name ${fuzz_source} NAME_WE)
    wl_fuzzer(${name}_${fuzz_name} SOURCES ${fuzz_source} LIBS ${name} ${M_TEST_LIBS})
  endforeach()
endfunction()
