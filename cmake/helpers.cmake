# Deliverable shared libraries resolve every symbol at link time.
# (Not in fuzz builds: there the sanitizer runtime is linked into the fuzz programs only and
# the libraries take its symbols from them.)
function(stack_deliverable_link target)
  if(NOT STACK_FUZZ)
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()

# One precompiled GoogleTest header for every test binary (its flags are theirs).
function(stack_test_pch)
  if(TARGET stack_test_pch)
    return()
  endif()
  # A program, so that its code model (-fPIE) is that of the test binaries.
  file(WRITE ${CMAKE_BINARY_DIR}/stack_test_pch.cpp "int main() { return 0; }\n")
  add_executable(stack_test_pch ${CMAKE_BINARY_DIR}/stack_test_pch.cpp)
  target_link_libraries(stack_test_pch PRIVATE GTest::gmock GTest::gtest)
  target_compile_options(stack_test_pch PRIVATE -O1 -Wno-array-bounds -Wno-stringop-overflow -Wno-stringop-overread)
  target_precompile_headers(stack_test_pch PRIVATE
    "$<$<COMPILE_LANGUAGE:CXX>:<gtest/gtest.h$<ANGLE-R>>" "$<$<COMPILE_LANGUAGE:CXX>:<gmock/gmock.h$<ANGLE-R>>")
endfunction()

# stack_add_test_binary(name LABELS l1 l2 SOURCES ... LIBS ... [LOCKS r1 ...]): one
# GoogleTest binary per subsystem. Test suites whose name contains "Slow" are left out of
# the default run and run together under the label "slow". LOCKS: CTest resource locks
# every test of the binary holds (a shared socket name, for example).
function(stack_add_test_binary name)
  cmake_parse_arguments(T "" "" "LABELS;SOURCES;LIBS;LOCKS" ${ARGN})
  stack_test_pch()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest GTest::gtest_main)
  # Test code gains nothing from -O2 and compiles much slower (the more so under a
  # sanitizer); the code under test keeps the build's optimisation.
  # (GCC's flow warnings misfire inside libstdc++'s string code at -O1.)
  target_compile_options(${name} PRIVATE -O1 -Wno-array-bounds -Wno-stringop-overflow -Wno-stringop-overread)
  # GoogleTest's headers cost seconds in every test file: parsed once per build.
  target_precompile_headers(${name} REUSE_FROM stack_test_pch)
  set_property(GLOBAL APPEND PROPERTY STACK_TEST_BINARIES ${name})
  set_property(TARGET ${name} PROPERTY STACK_TEST_LABELS "${T_LABELS}")
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/..)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 120
    TEST_FILTER "-*Slow*"
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  # Labels and locks are not handed to the discovery: its PROPERTIES flattens list values
  # (a second label became a property name and swallowed the lock after it). A file read
  # after the discovery's own sets them on the tests it found.
  set(properties "LABELS \"${T_LABELS}\"")
  if(T_LOCKS)
    string(APPEND properties " RESOURCE_LOCK \"${T_LOCKS}\"")
  endif()
  set(properties_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake)
  file(WRITE ${properties_file}
    "if(${name}_TESTS)\n  set_tests_properties(\${${name}_TESTS} PROPERTIES ${properties})\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${properties_file})
  add_test(NAME ${name}.slow COMMAND ${name} --gtest_filter=*Slow*)
  set_tests_properties(${name}.slow PROPERTIES LABELS "slow;${T_LABELS}")
  if(T_LOCKS)
    set_tests_properties(${name}.slow PROPERTIES RESOURCE_LOCK "${T_LOCKS}")
  endif()
endfunction()

# threads_tests: every test binary labelled "threads" (by the helper or by its directory), so
# the ThreadSanitizer run builds only what it runs. Call once, after every test directory.
function(stack_add_threads_target)
  add_custom_target(threads_tests)
  get_property(binaries GLOBAL PROPERTY STACK_TEST_BINARIES)
  foreach(name IN LISTS binaries)
    get_property(labels TARGET ${name} PROPERTY STACK_TEST_LABELS)
    get_property(dir TARGET ${name} PROPERTY SOURCE_DIR)
    get_property(dir_labels DIRECTORY ${dir} PROPERTY LABELS)
    if("threads" IN_LIST labels OR "threads" IN_LIST dir_labels)
      add_dependencies(threads_tests ${name})
    endif()
  endforeach()
endfunction()
