#!/usr/bin/env bash
# The main job: builds the native library and host on first use (installing
# any missing Debian package), then runs `nccore` with the given arguments.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build/release"

bash "$top/scripts/setup.sh" native
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNCCORE_TESTS=OFF >/dev/null
fi
ninja -C "$build" nccore >/dev/null
exec "$build/nccore" "$@"
