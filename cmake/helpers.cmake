# Deliverable shared libraries resolve every symbol at link time.
# (Not in fuzz builds: there the sanitizer runtime is linked into the fuzz programs only and
# the libraries take its symbols from them.)
function(stack_deliverable_link target)
  if(NOT STACK_FUZZ)
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()

# stack_add_test_binary(name [ISOLATED] LABELS l1 l2 SOURCES ... LIBS ... [LOCKS r1 ...]): one
# GoogleTest binary per subsystem. Test suites whose name contains "Slow" are left out of
# the default run and run together under the label "slow". LOCKS: CTest resource locks
# every test of the binary holds (a shared socket name, for example). ISOLATED: each test
# needs a process of its own (it leaves state that lives until the process ends, such as a
# server holding its socket name), also where the build runs one process per binary.
option(STACK_TEST_PER_BINARY "One CTest test per test binary instead of one per test" OFF)
# Most of a test file's compile is parsing GoogleTest and the standard headers (2.2 s of 3 s
# for a typical file): compiling a binary's test files together in batches parses them once.
# Off by default so that editing one test file rebuilds only that file.
option(STACK_TEST_UNITY "Compile each test binary's sources in batches" OFF)
set(STACK_TEST_UNITY_BATCH 0 CACHE STRING "Test sources per batch when STACK_TEST_UNITY is on (0: all of a binary)")
function(stack_add_test_binary name)
  cmake_parse_arguments(T "ISOLATED" "" "LABELS;SOURCES;LIBS;LOCKS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  # Test code is compiled without optimisation: compiling it (the more so under a sanitizer)
  # is most of the build, and the time the tests run goes to the code under test, which keeps
  # the build's optimisation. A precompiled GoogleTest header cost more than it saved: every
  # compile maps its 85 MB.
  target_compile_options(${name} PRIVATE -O0)
  if(STACK_SANITIZE STREQUAL "asan-ubsan")
    # The code under test keeps both sanitizers; UBSan's checks on the test code's own
    # arithmetic doubled its compile time under ASan and guard nothing the stack ships.
    target_compile_options(${name} PRIVATE -fno-sanitize=undefined -fno-sanitize=float-cast-overflow)
  endif()
  if(STACK_TEST_UNITY)
    set_target_properties(${name} PROPERTIES UNITY_BUILD ON
                          UNITY_BUILD_BATCH_SIZE ${STACK_TEST_UNITY_BATCH})
  endif()
  set_property(GLOBAL APPEND PROPERTY STACK_TEST_BINARIES ${name})
  set_property(TARGET ${name} PROPERTY STACK_TEST_LABELS "${T_LABELS}")
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/..)
  if(STACK_TEST_PER_BINARY AND NOT T_ISOLATED)
    # Under a sanitizer each process start costs a fifth of a second and a suite's set-up is
    # repeated per test: one process runs the whole binary.
    add_test(NAME ${name} COMMAND ${name} --gtest_filter=-*Slow*
             WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
    if(T_LOCKS)
      set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${T_LOCKS}")
    endif()
  else()
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
  endif()
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
