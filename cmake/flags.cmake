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
  endif()
  add_compile_definitions(STACK_SANITIZED=1)
elseif(STACK_SANITIZE STREQUAL "tsan")
  add_compile_options(-fsanitize=thread -g1)
  add_link_options(-fsanitize=thread)
  add_compile_definitions(STACK_SANITIZED=1)
elseif(NOT STACK_SANITIZE STREQUAL "")
  message(FATAL_ERROR "unknown STACK_SANITIZE '${STACK_SANITIZE}'")
endif()

# Deliverables: no exceptions, no RTTI, only named exports.
set(STACK_DELIVERABLE_FLAGS -fno-exceptions -fno-rtti -fvisibility=hidden -fvisibility-inlines-hidden)
# The decoder must compute the same numbers on arm64: no implicit fused multiply-add.
set(STACK_DECODER_FLAGS ${STACK_DELIVERABLE_FLAGS} -ffp-contract=off)
