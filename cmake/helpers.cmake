# Deliverable shared libraries resolve every symbol at link time.
# (Not in fuzz builds: there the sanitizer runtime is linked into the fuzz programs only and
# the libraries take its symbols from them.)
function(stack_deliverable_link target)
  if(NOT STACK_FUZZ)
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()

# stack_add_test_binary(name LABELS l1 l2 SOURCES ... LIBS ... [LOCKS r1 ...]): one
# GoogleTest binary per subsystem. Test suites whose name contains "Slow" are left out of
# the default run and run together under the label "slow". LOCKS: CTest resource locks
# every test of the binary holds (a shared socket name, for example).
function(stack_add_test_binary name)
  cmake_parse_arguments(T "" "" "LABELS;SOURCES;LIBS;LOCKS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/..)
  # A list of labels must reach the test property as one value.
  string(REPLACE ";" "\\;" escaped_labels "${T_LABELS}")
  set(lock_properties "")
  if(T_LOCKS)
    string(REPLACE ";" "\\;" escaped_locks "${T_LOCKS}")
    set(lock_properties RESOURCE_LOCK "${escaped_locks}")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 120
    PROPERTIES LABELS "${escaped_labels}" ${lock_properties}
    TEST_FILTER "-*Slow*"
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  add_test(NAME ${name}.slow COMMAND ${name} --gtest_filter=*Slow*)
  set_tests_properties(${name}.slow PROPERTIES LABELS "slow;${T_LABELS}")
  if(T_LOCKS)
    set_tests_properties(${name}.slow PROPERTIES RESOURCE_LOCK "${T_LOCKS}")
  endif()
endfunction()
