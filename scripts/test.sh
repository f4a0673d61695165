#!/usr/bin/env bash
# Every test: the native build with AddressSanitizer and UBSan (unit tests and
# the black-box suite), the Debian package (made, linted, installed, used and
# removed), then the Windows builds: the shipped 32-bit set (built, exports
# and imports checked, its zip made and checked) and the 64-bit set with its
# suite under wine64.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build/native"

bash "$top/scripts/setup.sh" all

start=$SECONDS
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNCCORE_SANITIZE=ON \
      -DNCCORE_SIMULATORS=ON >/dev/null
ninja -C "$build"
(cd "$build" && ctest --output-on-failure -j "$(nproc)")
echo "test: the native half took $((SECONDS - start)) s"

start=$SECONDS
bash "$top/scripts/test-package.sh"
echo "test: the Debian package took $((SECONDS - start)) s"

start=$SECONDS
NCCORE_NATIVE_HOST="$build/nccore" bash "$top/scripts/test-windows.sh"
echo "test: the Windows half took $((SECONDS - start)) s"
echo "all tests passed"
