#!/usr/bin/env bash
# Installs the Debian packages that building, testing, benchmarking and fuzzing need,
# only those that are missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev llvm
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libzint-dev libqrencode-dev libpng-dev
  libxml2-dev libsqlite3-dev libssl-dev sqlite3 openssl zlib1g-dev
  openjdk-17-jdk-headless
)
# Extra package lists named on the command line (for example: scripts/setup.sh cross).
for extra in "$@"; do
  case "$extra" in
    cross) packages+=(g++-aarch64-linux-gnu libc6-arm64-cross qemu-user) ;;
    armhf) packages+=(g++-arm-linux-gnueabihf libc6-armhf-cross qemu-user) ;;
    compare) packages+=(libzxing-dev) ;;
    *) echo "setup.sh: unknown package set '$extra'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
