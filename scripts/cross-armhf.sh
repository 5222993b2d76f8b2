#!/usr/bin/env bash
# cross-armhf.sh: builds the message link library, the camera arbitration client, the
# platform layer and the plain link peer program for 32-bit ARM (the camera client's target,
# where its record layouts are checked at compile time) with Debian's cross compiler,
# then runs the ARM client under qemu-arm for 100 command round trips against the host's
# 64-bit server from the release build. Exits non-zero when a build or a round trip fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh armhf
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTACK_BENCH=ON >/dev/null
cmake --build build/release -j "${JOBS:-3}" --target link_peer

out=build/armhf
mkdir -p "$out"
cxx=arm-linux-gnueabihf-g++
flags=(-std=c++20 -O2 -fPIC -Wall -Wextra -Werror -fno-exceptions -fno-rtti -fvisibility=hidden
       -fvisibility-inlines-hidden -Iplatform/include -Ilink/include -Ilink)
$cxx "${flags[@]}" -shared -Wl,--no-undefined -o "$out/libstackplatform.so" \
  platform/root.cpp platform/kernel.cpp platform/android_log.cpp platform/properties.cpp -ldl -lpthread
$cxx "${flags[@]}" -shared -Wl,--no-undefined -Wl,-Bsymbolic -o "$out/libzptutils.so" \
  link/utils.cpp link/socket.cpp link/reassembly.cpp link/link.cpp -L"$out" -lstackplatform -lpthread \
  -Wl,-rpath,'$ORIGIN'
$cxx "${flags[@]}" -Icamera/include -shared -Wl,--no-undefined -Wl,-Bsymbolic -o "$out/libzptcamera_client.so" \
  camera/camera_client.cpp -L"$out" -lzptutils -lstackplatform -lpthread -Wl,-rpath,'$ORIGIN'
$cxx "${flags[@]}" -o "$out/link_peer" tests/service/link/link_peer.cpp -L"$out" -lzptutils -lstackplatform \
  -Wl,-rpath,'$ORIGIN'
file "$out/libzptutils.so" | grep -q "ELF 32-bit LSB shared object, ARM" || { echo "not a 32-bit ARM library" >&2; exit 1; }
scripts/check-exports.sh "$out/libzptutils.so" link/exports.txt
file "$out/libzptcamera_client.so" | grep -q "ELF 32-bit LSB shared object, ARM" || { echo "not a 32-bit ARM library" >&2; exit 1; }
scripts/check-exports.sh "$out/libzptcamera_client.so" camera/exports_client.txt

name="/cross/armhf/$$"
fifo=$(mktemp -u)
mkfifo "$fifo"
build/release/tests/service/link/link_peer server "$name" 120 >"$fifo" &
server=$!
trap 'kill $server 2>/dev/null; rm -f "$fifo"' EXIT
read -r line <"$fifo"
[ "$line" = ready ] || { echo "server did not start" >&2; exit 1; }
qemu-arm -L /usr/arm-linux-gnueabihf "$out/link_peer" client "$name" 100 | tee "$out/client.log"
