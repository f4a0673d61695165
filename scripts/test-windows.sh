#!/usr/bin/env bash
# The Windows build and its tests under Wine:
#   1. configure and build build/windows with the mingw-w64 toolchain (Ninja);
#   2. set up a private Wine prefix in build/windows/wineprefix (first run only);
#   3. under an X display (Xvfb when there is none: message boxes need one),
#      run the CTest suite (unit tests, Win32 platform tests, the DLLs loaded by
#      a host program, black-box tests) and a few direct calls of nccore.exe.
# Exits non-zero when anything fails. Safe to run again: the build is
# incremental and the prefix is reused.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build/windows"

export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko install prompts
# An ANSI code page other than 1251 (Wine derives it from the locale), so the
# tests show that the library's texts and file names do not depend on it.
export LC_ALL=C.UTF-8

# ---- the checks, run under a display -------------------------------------------
if [[ ${1:-} == --checks ]]; then
  failed=0
  fail() {
    echo "FAIL: $*" >&2
    failed=1
  }

  (cd "$build" && ctest --output-on-failure -j "$(nproc)") || fail "ctest"

  # Direct calls of the command-line host.
  nccore="$build/nccore.exe"
  work="$build/nccore-calls"
  rm -rf "$work"
  mkdir -p "$work"
  cd "$work"
  for _ in 1 2 3 4 5 6 7 8; do printf '4 a 9 2 d 8 0 e\r\n'; done >table.txt
  hex() { od -An -tx1 -v | tr -d ' \n'; }
  # "ZQGOSB00: Операция выполнена успешно" and "ZQGOSB11: Файл уже существует: "
  # in code page 1251.
  success=5a51474f534230303a20ceefe5f0e0f6e8ff20e2fbefeeebede5ede020f3f1efe5f8edee
  exists=5a51474f534231313a20d4e0e9eb20f3e6e520f1f3f9e5f1f2e2f3e5f23a20

  run() {  # expected exit code, then nccore's arguments; the output goes to out.txt
    local want=$1 code=0
    shift
    NCCORE_UI=headless wine "$nccore" "$@" >out.txt 2>err.txt || code=$?
    [[ $code == "$want" ]] || fail "nccore $*: exit code $code, expected $want ($(cat err.txt))"
  }
  text_hex() { tr -d '\r\n' <out.txt | hex; }

  run 0 gosb table.txt out.gtb /Y
  [[ $(text_hex) == "$success" ]] || fail "gosb: result text $(text_hex)"
  [[ $(head -c 17 out.gtb 2>/dev/null) == TAVOCRYPTDATAFILE ]] || fail "gosb: out.gtb is no data file"

  # Without /Y the overwrite question is answered "no" by the headless UI.
  run 11 gosb table.txt out.gtb
  [[ $(text_hex) == "${exists}$(printf 'out.gtb' | hex)" ]] || fail "gosb again: result text $(text_hex)"

  # ZqDIAP through the shipped set alone: nccore.exe, NCCORE21.DLL and the
  # companion DLLs it imports (the primitives), copied into a folder of their own.
  ship="$work/ship"
  mkdir -p "$ship"
  for file in nccore.exe NCCORE21.DLL ZQDES32.DLL ZQCOM32.DLL ZQBIG32.dll ZQGOS32.DLL; do
    cp "$build/$file" "$ship/" || fail "the build has no $file"
  done
  # "ZQDIAP00: Операция выполнена успешно" and "ZQDIAP01: Неправильный формат
  # команды" in code page 1251.
  diap_success=5a514449415030303a20ceefe5f0e0f6e8ff20e2fbefeeebede5ede020f3f1efe5f8edee
  diap_bad=5a514449415030313a20cde5eff0e0e2e8ebfcedfbe920f4eef0ece0f220eaeeece0ede4fb
  nccore="$ship/nccore.exe"
  run 0 diap out.ap /Y
  [[ $(text_hex) == "$diap_success" ]] || fail "diap: result text $(text_hex)"
  [[ $(head -c 17 out.ap 2>/dev/null) == TAVOCRYPTDATAFILE ]] || fail "diap: out.ap is no data file"
  # A P range below 9 bits is a bad command, and out.ap stays as it was.
  before=$(md5sum <out.ap 2>/dev/null || true)
  run 1 diap out.ap /Y /P:8-100
  [[ $(text_hex) == "$diap_bad" ]] || fail "diap /P:8-100: result text $(text_hex)"
  [[ $(md5sum <out.ap 2>/dev/null) == "$before" ]] || fail "diap /P:8-100: out.ap changed"
  nccore="$build/nccore.exe"

  run 0 --help
  grep -q '^usage: nccore' out.txt || fail "--help: no usage text"

  # Let Wine's own processes end while the display still exists.
  wineserver -w
  exit $failed
fi

# ---- build ---------------------------------------------------------------------
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" >/dev/null
ninja -C "$build"

# ---- can this machine run the 32-bit build? ---------------------------------------
# i386 Wine needs the kernel's 32-bit support. Some kernels are built or booted
# without it (execve then fails with "Exec format error"); there the Windows
# build is still made and its exports are checked, and the Wine runs are
# skipped with a notice, unless NCCORE_REQUIRE_WINE=1 makes that a failure.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  dll_exports() { i686-w64-mingw32-objdump -p "$1" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
                    sed -n 's/^[[:space:]]*\[ *[0-9][0-9]*\] \([A-Za-z_][A-Za-z0-9_]*\)$/\1/p' | sort; }
  def_exports() { sed -n 's/^  \([A-Za-z_][A-Za-z0-9_]*\)@[0-9]*$/\1/p' "$1" | sort; }
  status=0
  for pair in NCCORE21.DLL:nccore21 ZQDES32.DLL:ZQDES32 ZQCOM32.DLL:ZQCOM32 \
              ZQBIG32.dll:ZQBIG32 ZQGOS32.DLL:ZQGOS32; do
    dll=${pair%%:*} def="$top/res/${pair#*:}.def"
    if [[ $(dll_exports "$build/$dll") != "$(def_exports "$def")" ]]; then
      echo "test-windows: $dll does not export exactly the names of $def" >&2
      status=1
    fi
  done
  echo "test-windows: this machine cannot run 32-bit programs (the kernel's 32-bit" >&2
  echo "  support is off), so the Windows build was made and its exports checked, but" >&2
  echo "  nothing ran under Wine." >&2
  [[ ${NCCORE_REQUIRE_WINE:-0} == 1 ]] && status=1
  exit $status
fi

# ---- Wine prefix -----------------------------------------------------------------
if [[ ! -f $WINEPREFIX/system.reg ]]; then
  echo "test-windows: creating the Wine prefix $WINEPREFIX" >&2
  wineboot -i >/dev/null 2>&1
  wineserver -w
fi

# ---- checks ----------------------------------------------------------------------
if [[ -n ${DISPLAY:-} ]]; then
  bash "$0" --checks
else
  xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" --checks
fi
echo "test-windows: all checks passed"
