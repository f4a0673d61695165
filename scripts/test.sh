#!/usr/bin/env bash
# Every test: the native build with AddressSanitizer and UBSan (unit tests and
# the black-box suite), then the Windows build under Wine.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build/native"

bash "$top/scripts/setup.sh" all

cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNCCORE_SANITIZE=ON >/dev/null
ninja -C "$build"
(cd "$build" && ctest --output-on-failure -j "$(nproc)")

bash "$top/scripts/test-windows.sh"
echo "all tests passed"
