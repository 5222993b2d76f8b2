#!/usr/bin/env bash
# check_exports.sh LIB EXPECTED: the library defines exactly the listed dynamic symbols and
# binds its own definitions first (-Bsymbolic).
set -euo pipefail
lib=$1 expected=$2
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TWDBRVi]$/ {print $3}' | sed 's/@.*//' | sort -u)
if ! diff -u <(sort -u "$expected") <(echo "$actual"); then
  echo "exports of $lib differ from $expected" >&2
  exit 1
fi
if ! readelf -d "$lib" | grep -Eq '\(FLAGS\).*SYMBOLIC|\(SYMBOLIC\)'; then
  echo "$lib is not linked with -Bsymbolic" >&2
  exit 1
fi
echo "exports of $(basename "$lib") match; linked -Bsymbolic"
