# With -shared-libsan the programs must find clang's sanitizer runtime at run time.
macro(stack_clang_runtime_rpath)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} --print-file-name=libclang_rt.asan-x86_64.so
                  OUTPUT_VARIABLE _asan_rt OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(_asan_rt_dir "${_asan_rt}" DIRECTORY)
  add_link_options(-Wl,-rpath,${_asan_rt_dir})
endmacro()

# Flags shared by every target, and the stricter set for deliverables.
add_compile_options(-Wall -Wextra -Werror)

if(STACK_SANITIZE STREQUAL "asan-ubsan")
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # g++'s "undefined" leaves this one out.
    list(APPEND _san -fsanitize=float-cast-overflow)
  else()
    list(APPEND _san -fsanitize=float-cast-overflow -fno-sanitize=function)
  endif()
  add_compile_options(${_san} -g1)
  add_link_options(${_san})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    add_link_options(-shared-libsan)
    stack_clang_runtime_rpath()
  endif()
  add_compile_definitions(STACK_SANITIZED=1)
elseif(STACK_SANITIZE STREQUAL "tsan")
  add_compile_options(-fsanitize=thread -g1)
  add_link_options(-fsanitize=thread)
  add_compile_definitions(STACK_SANITIZED=1)
elseif(NOT STACK_SANITIZE STREQUAL "")
  message(FATAL_ERROR "unknown STACK_SANITIZE '${STACK_SANITIZE}'")
endif()

if(STACK_FUZZ)
  # The library code is instrumented for coverage too, not only the fuzz targets.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize=function)
endif()

# Deliverables: no exceptions, no RTTI, only named exports.
set(STACK_DELIVERABLE_FLAGS -fno-exceptions -fno-rtti -fvisibility=hidden -fvisibility-inlines-hidden)
# The decoder must compute the same numbers on arm64: no implicit fused multiply-add.
set(STACK_DECODER_FLAGS ${STACK_DELIVERABLE_FLAGS} -ffp-contract=off)
