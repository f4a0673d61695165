#!/usr/bin/env bash
# The Windows builds and their tests:
#   1. the 32-bit set (build/windows, i686 mingw-w64): the shipped DLLs and
#      nccore.exe, with every test program; each DLL must export exactly the
#      names of its .def file;
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

dll_exports() { i686-w64-mingw32-objdump -p "$1" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
                  sed -n 's/^[[:space:]]*\[ *[0-9][0-9]*\] \([A-Za-z_][A-Za-z0-9_]*\)$/\1/p' | sort; }
def_exports() { sed -n 's/^  \([A-Za-z_][A-Za-z0-9_]*\)@[0-9]*$/\1/p' "$1" | sort; }
status=0
for pair in NCCORE21.DLL:nccore21 ZQDES32.DLL:ZQDES32 ZQCOM32.DLL:ZQCOM32 \
            ZQBIG32.dll:ZQBIG32 ZQGOS32.DLL:ZQGOS32 ZQRSA32.DLL:ZQRSA32; do
  dll=${pair%%:*} def="$top/res/${pair#*:}.def"
  if ! i686-w64-mingw32-objdump -f "$build32/$dll" | grep -q 'file format pei-i386'; then
    echo "test-windows: $dll is not a 32-bit x86 DLL" >&2
    status=1
  fi
  if [[ $(dll_exports "$build32/$dll") != "$(def_exports "$def")" ]]; then
    echo "test-windows: $dll does not export exactly the names of $def" >&2
    status=1
  fi
done
((status == 0)) || exit 1
echo "test-windows: the 32-bit DLLs export exactly their .def names"

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
