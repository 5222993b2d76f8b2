#!/usr/bin/env bash
# build.sh KIND [TARGET...]: configures and builds one kind of build in build/KIND (only the
# targets named, if any).
# Test sources are compiled one binary at a time (STACK_TEST_UNITY); configure without it to
# rebuild only the test file you edit.
#   release  optimised, with tests and benchmarks
#   asan     AddressSanitizer + UndefinedBehaviorSanitizer, with tests (one CTest test per binary)
#   tsan     ThreadSanitizer, with tests (one CTest test per binary)
#   fuzz     clang libFuzzer targets
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-release}
jobs=${JOBS:-$(nproc)}
case "$kind" in
  release) args=(-DCMAKE_BUILD_TYPE=Release -DSTACK_BENCH=ON -DSTACK_TEST_UNITY=ON) ;;
  asan)    args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTACK_SANITIZE=asan-ubsan -DSTACK_TEST_PER_BINARY=ON
                 -DSTACK_TEST_UNITY=ON) ;;
  tsan)    args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTACK_SANITIZE=tsan -DSTACK_TEST_PER_BINARY=ON
                 -DSTACK_TEST_UNITY=ON) ;;
  fuzz)    args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTACK_FUZZ=ON -DSTACK_TESTS=OFF
                 -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "build.sh: unknown build kind '$kind'" >&2; exit 2 ;;
esac
cmake -S . -B "build/$kind" -G Ninja "${args[@]}" >/dev/null
shift || true
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "build/$kind" -j "$jobs" "${targets[@]}"
