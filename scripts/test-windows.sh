#!/usr/bin/env bash
# The Windows builds and their tests:
#   1. the 32-bit set (build/windows, i686 mingw-w64): the shipped DLLs and
#      nccore.exe, with every test program; each DLL must export exactly the
#      names of its .def file and import no mingw runtime DLL; then the zip
#      that ships them (scripts/package.sh zip), checked the same way;
#   2. the 64-bit set (build/windows64, x86_64 mingw-w64): the same sources,
#      made to be tested, since many machines cannot run 32-bit programs at
#      all; its whole CTest suite runs under wine64 in a private prefix
#      under Xvfb. A machine where wine64 cannot start fails here;
#   3. where the kernel runs 32-bit programs and i386 Wine is installed
#      (scripts/setup.sh wine32), the 32-bit suite runs under Wine as well.
# Exits non-zero when anything fails. Safe to run again: the builds are
# incremental and the prefixes are reused.
#   NCCORE_NATIVE_HOST   the native nccore for the cross-platform key test
#                        (default: build/native/nccore when it exists)
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build32="$top/build/windows"
build64="$top/build/windows64"
native_host=${NCCORE_NATIVE_HOST:-$top/build/native/nccore}
[[ -x $native_host ]] || native_host=

# Runs a build's CTest suite under an X display (Xvfb when there is none:
# message boxes and dialogs need one), then ends the prefixes' servers.
run_suite() {  # build folder
  local suite=(ctest --test-dir "$1" --output-on-failure -j "$(nproc)") status=0
  if [[ -n ${DISPLAY:-} ]]; then
    "${suite[@]}" || status=$?
  else
    xvfb-run -a -s "-screen 0 1024x768x24" "${suite[@]}" || status=$?
  fi
  # The tests' prefixes keep a server running for a while: end them now.
  local server prefix
  server=$(dirname "$(command -v wine64 || echo /usr/lib/wine/wine64)")/wineserver
  [[ -x $server ]] || server=/usr/lib/wine/wineserver
  for prefix in "$1"/wineprefix*; do
    # No server left is fine too.
    if [[ -d $prefix ]]; then WINEPREFIX=$prefix "$server" -k >/dev/null 2>&1 || true; fi
  done
  return $status
}

# ---- 1. the shipped 32-bit set ------------------------------------------------------
cmake -S "$top" -B "$build32" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" >/dev/null
ninja -C "$build32"

# shellcheck source=scripts/windows-dlls.sh
source "$top/scripts/windows-dlls.sh"
if ! check_windows_set "$build32"; then
  echo "test-windows: the 32-bit set does not match its .def files" >&2
  exit 1
fi
echo "test-windows: the 32-bit DLLs export exactly their .def names and import no runtime DLL"
# The zip that ships them, made from this build and checked the same way.
bash "$top/scripts/package.sh" zip

# ---- 2. the 64-bit set under wine64 ----------------------------------------------
if [[ ! -x /usr/lib/wine/wine64 ]] && ! command -v wine64 >/dev/null; then
  echo "test-windows: wine64 is missing (bash scripts/setup.sh all installs it)" >&2
  exit 1
fi
cmake -S "$top" -B "$build64" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-x86_64.cmake" -DNCCORE_SIMULATORS=ON \
      -DNCCORE_NATIVE_HOST="$native_host" >/dev/null
ninja -C "$build64"
start=$SECONDS
run_suite "$build64"
echo "test-windows: the 64-bit suite passed under wine64 in $((SECONDS - start)) s"

# ---- 3. the 32-bit set under i386 Wine, where the machine can run it --------------------
if [[ -x /usr/lib/wine/wine ]] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
  run_suite "$build32"
  echo "test-windows: the 32-bit suite passed under Wine"
else
  echo "test-windows: no i386 Wine that runs here; the 32-bit suite was built, not run"
fi
