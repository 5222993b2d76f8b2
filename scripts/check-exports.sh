#!/usr/bin/env bash
# check-exports.sh [--no-heap] [--symbolic] LIB EXPECTED: the library defines exactly the
# listed dynamic symbols; --no-heap: it imports no heap allocator (the decoder);
# --symbolic: it binds its own definitions first, -Bsymbolic (the service libraries).
set -euo pipefail
no_heap=0 symbolic=0
while [ $# -gt 0 ]; do
  case $1 in
    --no-heap) no_heap=1; shift ;;
    --symbolic) symbolic=1; shift ;;
    --) shift; break ;;
    -*) echo "usage: check-exports.sh [--no-heap] [--symbolic] LIB EXPECTED" >&2; exit 2 ;;
    *) break ;;
  esac
done
if [ $# -ne 2 ]; then
  echo "usage: check-exports.sh [--no-heap] [--symbolic] LIB EXPECTED" >&2
  exit 2
fi
lib=$1 expected=$2
# AddressSanitizer adds an __odr_asan marker beside every exported variable.
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TWDBRVi]$/ && $3 !~ /^__odr_asan/ {print $3}' | sed 's/@.*//' | sort -u)
# An empty list is a library that exports nothing.
if ! diff -u <(sed '/^$/d' "$expected" | sort -u) <(printf '%s\n' "$actual" | sed '/^$/d'); then
  echo "exports of $lib differ from $expected" >&2
  exit 1
fi
notes=""
if [ $no_heap -eq 1 ]; then
  heap=$(nm -D --undefined-only "$lib" | awk '{print $2}' | sed 's/@.*//' |
         grep -E '^(malloc|calloc|realloc|free|aligned_alloc|posix_memalign|memalign|valloc|_Znw.*|_Zna.*)$' || true)
  if [ -n "$heap" ]; then
    echo "$lib imports heap allocators:" >&2
    echo "$heap" >&2
    exit 1
  fi
  notes="$notes; no heap allocator imported"
fi
if [ $symbolic -eq 1 ]; then
  if ! readelf -d "$lib" | grep -Eq '\(FLAGS\).*SYMBOLIC|\(SYMBOLIC\)'; then
    echo "$lib is not linked with -Bsymbolic" >&2
    exit 1
  fi
  notes="$notes; linked -Bsymbolic"
fi
echo "exports of $(basename "$lib") match$notes"
