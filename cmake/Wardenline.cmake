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

# wl_unit_test(NAME SOURCES... [LIBS ...] [LABELS ...])
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
    ENVIRONMENT "WL_BUILD_DIR=${CMAKE_BINARY_DIR};WL_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
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
