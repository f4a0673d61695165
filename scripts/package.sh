#!/usr/bin/env bash
# Makes what ships, into build/package, and prints the paths and sizes:
#   package.sh       both of the below
#   package.sh deb   the Debian package nccore21_<version>_<arch>.deb, from a
#                    Release build in build/package (no tests, no benchmarks)
#                    with Debian's hardening flags
#   package.sh zip   nccore21-<version>-win32.zip: the shipped 32-bit Windows
#                    set from build/windows (configured and built here when
#                    needed), stripped, with nccore21.h and README.txt; the
#                    zip is then opened and checked: the expected files, each
#                    DLL exporting exactly the names of its .def file, no
#                    import other than Windows' own DLLs and the set's
#   NCCORE_JOBS      ninja's -j (default: ninja's own)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out="$top/build/package"
build32="$top/build/windows"
what=${1:-all}
case $what in
  all | deb | zip) ;;
  *)
    echo "usage: package.sh [deb|zip]" >&2
    exit 2
    ;;
esac
ninja_jobs=()
[[ -z ${NCCORE_JOBS:-} ]] || ninja_jobs=(-j "$NCCORE_JOBS")
made=()

cache_value() {  # build folder, variable
  sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"
}

# ---- the Debian package -------------------------------------------------------
make_deb() {
  bash "$top/scripts/setup.sh" native
  # Debian's flags for packages (stack protector, fortified functions, RELRO
  # with immediate binding), without -g: the package's binaries are stripped.
  local cflags cxxflags ldflags
  export DEB_BUILD_MAINT_OPTIONS=hardening=+bindnow
  cflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)"
  cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
  ldflags=$(dpkg-buildflags --get LDFLAGS)
  cflags=" $cflags " cxxflags=" $cxxflags "
  cflags=${cflags// -g / } cxxflags=${cxxflags// -g / }
  (cd "$top" && cmake -S "$top" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release \
     -DCMAKE_INSTALL_PREFIX=/usr -DNCCORE_TESTS=OFF -DNCCORE_BENCH=OFF \
     -DNCCORE_SIMULATORS=OFF -DNCCORE_FUZZ=OFF -DNCCORE_SANITIZE=OFF \
     -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" \
     -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" >/dev/null)
  ninja -C "$out" "${ninja_jobs[@]}"
  local version arch deb log
  version=$(cache_value "$out" CMAKE_PROJECT_VERSION)
  arch=$(dpkg --print-architecture)
  deb="$out/nccore21_${version}_${arch}.deb"
  rm -f "$deb"
  log="$out/cpack.log"
  if ! (cd "$out" && cpack -G DEB) >"$log" 2>&1 || [[ ! -f $deb ]]; then
    cat "$log" >&2
    echo "package: cpack made no $deb" >&2
    exit 1
  fi
  made+=("$deb")
}

# ---- the Windows zip ------------------------------------------------------------
readme_txt() {
  cat <<'EOF'
NCCORE21 — криптографическая обработка файлов
=============================================

NCCORE21.DLL — библиотека операций над файлами: генераторы ключей, шифрование
(DES, ГОСТ 28147-89, RSA, Диффи-Хеллман), хэш-функции, имитовставки, подписи,
защита ключей паролем и аппаратными носителями. ZQDES32.DLL, ZQCOM32.DLL,
ZQBIG32.dll, ZQGOS32.DLL и ZQRSA32.DLL — её криптографические примитивы;
все DLL должны лежать в одной папке. nccore21.h — описание экспортируемых
функций для программ на C и C++, zq/zq.h — функций примитивов; в папке lib —
библиотеки импорта MinGW и файлы .def (из них другие компиляторы делают свои,
например: lib /def:ZQDES32.def /machine:x86).

nccore.exe — консольная программа, вызывающая операции библиотеки. Запуск из
командной строки (cmd.exe или PowerShell) в папке с файлами:

    nccore.exe --help          список операций, их параметров и флагов
    nccore.exe --version       версия библиотеки
    nccore.exe --self-test     самопроверка на контрольных примерах
    nccore.exe desk k.dek                                 ключ DES
    nccore.exe desf отчёт.pdf отчёт.enc /CBC /KEY:k.dek   зашифровать
    nccore.exe desf отчёт.enc отчёт.pdf /D /KEY:k.dek     расшифровать

Программа печатает текст результата операции и завершается с её кодом
(0 — успешно).

В DLL статически скомпонованы libgcrypt и libgpg-error (GNU LGPL 2.1 или
более поздней версии); их исходные тексты: https://gnupg.org/download/.


NCCORE21 — file cryptography
============================

NCCORE21.DLL is a library of file jobs: key generators, encryption (DES,
GOST 28147-89, RSA, Diffie-Hellman), hashes, MACs, signatures, and the
protection of keys by passwords and hardware carriers. ZQDES32.DLL,
ZQCOM32.DLL, ZQBIG32.dll, ZQGOS32.DLL and ZQRSA32.DLL are its cryptographic
primitives; keep all the DLLs in one folder. nccore21.h declares the
exported functions for C and C++ programs, zq/zq.h those of the primitives;
lib holds the MinGW import libraries and the .def files (from which other
toolchains make theirs, e.g. lib /def:ZQDES32.def /machine:x86).

nccore.exe is the console program that runs the library's operations. Run it
from a command prompt (cmd.exe or PowerShell) in the folder of your files:

    nccore.exe --help          the operations, their options and the flags
    nccore.exe --version       the library's version
    nccore.exe --self-test     the library's known-answer self-test
    nccore.exe desk k.dek                                 a DES key
    nccore.exe desf report.pdf report.enc /CBC /KEY:k.dek encrypt
    nccore.exe desf report.enc report.pdf /D /KEY:k.dek   decrypt

It prints the operation's result text and exits with its result code
(0 on success).

The DLLs contain libgcrypt and libgpg-error (GNU LGPL 2.1 or later), linked
statically; their sources are at https://gnupg.org/download/.
EOF
}

# The headers of the companion DLLs' functions (zq/zq.h and what it includes).
zq_public_headers=(zq.h api.h word_block.h des_records.h des.h random.h bignum.h prime.h
                   gost_cipher.h gost_hash.h gost_sign.h rsa.h)

# A C program built from the zip's headers and import libraries alone links,
# and imports the operations, the version and self-test and a primitive by
# name from the set's DLLs.
check_zip_links() {  # folder of the unpacked zip
  local folder=$1 imports
  cat >"$folder/link_check.c" <<'EOF'
#include <stdio.h>
#include "nccore21.h"
#include "zq/zq.h"
int main(void) {
  char text[256];
  DesKeyContext key = {2, {0x01234567u, 0x89abcdefu}, {0}};
  DESEdk(&key);
  printf("%s %d\n", nccore21_version(), (int)nccore21_self_test(0, 0));
  return (int)ZqDESK(0, "\"k.dek\" /Y /NOLOGO", text, sizeof text);
}
EOF
  if ! i686-w64-mingw32-gcc -std=c11 -Wall -Wextra -Werror -I"$folder" "$folder/link_check.c" \
         -L"$folder/lib" -lNCCORE21 -lZQDES32 -o "$folder/link_check.exe"; then
    echo "package: a C program does not build from the zip's headers and libraries" >&2
    return 1
  fi
  imports=$(i686-w64-mingw32-objdump -p "$folder/link_check.exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
  rm -f "$folder/link_check.c" "$folder/link_check.exe"
  if ! grep -qx NCCORE21.DLL <<<"$imports" || ! grep -qx ZQDES32.DLL <<<"$imports"; then
    echo "package: the program built from the zip imports: $imports" >&2
    return 1
  fi
}

make_zip() {
  # shellcheck source=scripts/windows-dlls.sh
  source "$top/scripts/windows-dlls.sh"
  if [[ ! -f $build32/build.ninja ]]; then
    bash "$top/scripts/setup.sh" all
    cmake -S "$top" -B "$build32" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
          -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" >/dev/null
  fi
  # The DLLs' targets are named after their .def files.
  local targets=(nccore) def
  for def in "$top"/res/*.def; do targets+=("$(basename "$def" .def)"); done
  ninja -C "$build32" "${ninja_jobs[@]}" "${targets[@]}"

  local version files=() stage zip check file def
  version=$(cache_value "$build32" CMAKE_PROJECT_VERSION)
  mapfile -t files < <(windows_set_dlls)
  files+=(nccore.exe)
  stage="$out/win32"
  rm -rf "$stage"
  mkdir -p "$stage"
  for file in "${files[@]}"; do
    cp "$build32/$file" "$stage/"
  done
  # Without the debugging information of the RelWithDebInfo build.
  i686-w64-mingw32-strip --strip-unneeded "$stage"/*.[dD][lL][lL]
  i686-w64-mingw32-strip --strip-all "$stage/nccore.exe"
  cp "$top/include/nccore21.h" "$stage/"
  # UTF-8 with a byte order mark and CRLF line ends, for Notepad.
  { printf '\357\273\277'; readme_txt | sed 's/$/\r/'; } >"$stage/README.txt"
  files+=(nccore21.h README.txt)
  # The companion DLLs' C interface (zq/), and for linking with the set the
  # MinGW import libraries and the .def files (from which other toolchains
  # make theirs, e.g. "lib /def:ZQDES32.def /machine:x86").
  mkdir -p "$stage/zq" "$stage/lib"
  for file in "${zq_public_headers[@]}"; do
    cp "$top/zq/$file" "$stage/zq/"
    files+=("zq/$file")
  done
  for def in "$top"/res/*.def; do
    file=$(def_library "$def")
    file=lib${file%.*}.dll.a
    cp "$build32/$file" "$def" "$stage/lib/"
    files+=("lib/$file" "lib/$(basename "$def")")
  done

  zip="$out/nccore21-$version-win32.zip"
  rm -f "$zip"
  (cd "$stage" && cmake -E tar cf "$zip" --format=zip "${files[@]}")

  # What was written, read back from the zip.
  check=$(mktemp -d "${TMPDIR:-/tmp}/nccore-zip.XXXXXX")
  # shellcheck disable=SC2064  # $check is fixed now
  trap "rm -rf '$check'" EXIT
  (cd "$check" && cmake -E tar xf "$zip")
  local status=0
  if [[ $(cd "$check" && find . -type f -printf '%P\n' | sort) != "$(printf '%s\n' "${files[@]}" | sort)" ]]; then
    echo "package: $zip does not hold exactly: ${files[*]}" >&2
    status=1
  fi
  check_windows_set "$check" || status=1
  check_zip_links "$check" || status=1
  cmp -s "$check/nccore21.h" "$top/include/nccore21.h" || { echo "package: nccore21.h differs" >&2; status=1; }
  if [[ $(head -c 3 "$check/README.txt" | od -An -tx1 | tr -d ' ') != efbbbf ]] ||
     ! iconv -f UTF-8 -t UTF-8 "$check/README.txt" >/dev/null 2>&1; then
    echo "package: README.txt is not UTF-8 with a byte order mark" >&2
    status=1
  fi
  if ((status != 0)); then
    echo "package: $zip failed its checks" >&2
    exit 1
  fi
  echo "package: $zip holds the set, its exports match the .def files, no runtime DLL" \
       "imported, a C program links with its headers and import libraries"
  made+=("$zip")
}

mkdir -p "$out"
if [[ $what != zip ]]; then make_deb; fi
if [[ $what != deb ]]; then make_zip; fi
for file in "${made[@]}"; do
  printf '%s\t%s bytes\n' "$file" "$(stat -c %s "$file")"
done
