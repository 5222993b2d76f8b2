# Cross build for the arm64 target with Debian's g++-aarch64-linux-gnu and the
# libc6-arm64-cross sysroot. Test binaries run under qemu-user, also for test discovery.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

set(STACK_AARCH64_SYSROOT /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH ${STACK_AARCH64_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests compute expected values in plain floating point as well. x86-64's baseline has no
# fused multiply-add, so nothing may be contracted here either, in any code of this build.
set(CMAKE_C_FLAGS_INIT -ffp-contract=off)
set(CMAKE_CXX_FLAGS_INIT -ffp-contract=off)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L ${STACK_AARCH64_SYSROOT})

# The host's GoogleTest libraries are x86-64: find_package(GTest) gets a config that builds
# GoogleTest from the source package with this compiler instead.
set(GTest_DIR ${CMAKE_CURRENT_LIST_DIR}/aarch64-gtest CACHE PATH "GoogleTest built from source for arm64" FORCE)
