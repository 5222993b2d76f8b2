#!/usr/bin/env bash
# test.sh [--slow]: installs what is missing, builds and runs every test in a release build
# and again under AddressSanitizer + UndefinedBehaviorSanitizer, and the tests labelled
# "threads" under ThreadSanitizer. Tests labelled "slow" run only with --slow. Exits
# non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")/.."
slow=0
for a in "$@"; do
  case "$a" in
    --slow) slow=1 ;;
    *) echo "usage: scripts/test.sh [--slow]" >&2; exit 2 ;;
  esac
done
bash scripts/setup.sh || exit 1
jobs=${JOBS:-$(nproc)}
filter=(-LE slow)
[ $slow -eq 1 ] && filter=()
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0
summary=()
run_kind() {
  local kind=$1
  echo "=== $kind build"
  if ! bash scripts/build.sh "$kind"; then
    summary+=("$kind: build failed"); status=1; return
  fi
  echo "=== $kind tests"
  local log="build/$kind/ctest.log"
  if ctest --test-dir "build/$kind" -j "$jobs" "${filter[@]}" --output-on-failure --timeout 900 | tee "$log"; then
    summary+=("$kind: $(grep -E 'tests passed' "$log" | tail -1)")
  else
    summary+=("$kind: $(grep -E 'tests passed' "$log" | tail -1)"); status=1
  fi
}

# ThreadSanitizer: the tests labelled "threads" (service code that runs on several threads).
run_tsan() {
  echo "=== tsan build"
  if ! bash scripts/build.sh tsan threads_tests; then
    summary+=("tsan: build failed"); status=1; return
  fi
  echo "=== tsan tests (threads)"
  local log="build/tsan/ctest.log"
  if TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1} \
     ctest --test-dir build/tsan -L threads -j "$jobs" "${filter[@]}" --output-on-failure --timeout 900 | tee "$log"; then
    summary+=("tsan: $(grep -E 'tests passed' "$log" | tail -1)")
  else
    summary+=("tsan: $(grep -E 'tests passed' "$log" | tail -1)"); status=1
  fi
}

run_kind release
run_kind asan
run_tsan

# arm64: the decoder's core and toolkit tests, cross-built and run under qemu-user.
echo "=== arm64 cross build and tests (qemu)"
if bash scripts/cross-arm64.sh; then
  summary+=("arm64: $(grep -E 'tests passed' build/arm64/ctest.log | tail -1)")
else
  summary+=("arm64: build or tests failed"); status=1
fi

# 32-bit ARM: the message link library and a client program, against this host's server.
echo "=== armhf cross build and link round trips (qemu)"
if bash scripts/cross-armhf.sh; then
  summary+=("armhf: $(tail -1 build/armhf/client.log)")
else
  summary+=("armhf: build or round trips failed"); status=1
fi

echo "=== summary"
printf '%s\n' "${summary[@]}"
exit $status
