#!/usr/bin/env bash
# check-exports.sh LIB EXPECTED: the library defines exactly the listed dynamic symbols and
# imports no heap allocator.
set -euo pipefail
lib=$1 expected=$2
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TWDBRVi]$/ {print $3}' | sed 's/@.*//' | sort -u)
if ! diff -u <(sort -u "$expected") <(echo "$actual"); then
  echo "exports of $lib differ from $expected" >&2
  exit 1
fi
heap=$(nm -D --undefined-only "$lib" | awk '{print $2}' | sed 's/@.*//' |
       grep -E '^(malloc|calloc|realloc|free|aligned_alloc|posix_memalign|memalign|valloc|_Znw.*|_Zna.*)$' || true)
if [ -n "$heap" ]; then
  echo "$lib imports heap allocators:" >&2
  echo "$heap" >&2
  exit 1
fi
echo "exports of $(basename "$lib") match; no heap allocator imported"
