#!/usr/bin/env bash
# cross-arm64.sh: builds the decoder and those of its unit tests that need neither libzint
# nor libpng (core and toolkit) for arm64 with Debian's cross compiler, and runs them under
# qemu-user with the arm64 sysroot. The decoder must give the same answers as on x86-64,
# so the tests expect the same values. Exits non-zero when the build or a test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh cross
jobs=${JOBS:-$(nproc)}
dir=build/arm64
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTACK_DECODER_ONLY=ON -DSTACK_TEST_UNITY=ON \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-aarch64.cmake" >/dev/null
cmake --build "$dir" -j "$jobs"
ctest --test-dir "$dir" -j "$jobs" -LE slow --output-on-failure --timeout 600 | tee "$dir/ctest.log"
