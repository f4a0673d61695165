#!/usr/bin/env bash
# The Debian package and the install rules it is made from:
#   1. cmake --install into a staging folder: exactly the expected files, a
#      host without a path into the build tree, and a C program built with
#      the staged pkg-config file runs against the staged library;
#   2. the package (scripts/package.sh deb): lintian reports no error, it
#      depends on libgcrypt20;
#   3. installed with dpkg: nccore --help, --self-test, its manual pages
#      (English and Russian), a DES round trip, and a C program built with
#      pkg-config --cflags --libs nccore21. The package is removed (purged:
#      its postrm would otherwise keep it known to dpkg) at the end, failed
#      or not.
# Needs root or sudo, for dpkg.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out="$top/build/package"

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

work=$(mktemp -d "${TMPDIR:-/tmp}/nccore-package.XXXXXX")
installed=
cleanup() {
  if [[ -n $installed ]]; then as_root dpkg -P nccore21 >/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

bash "$top/scripts/package.sh" deb
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$out/CMakeCache.txt")
deb="$out/nccore21_${version}_$(dpkg --print-architecture).deb"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
fail() {
  echo "test-package: $*" >&2
  exit 1
}

# A program of the library's users: makes a DES key, prints the result text.
cat >"$work/use.c" <<'EOF'
#include <nccore21.h>
#include <stdio.h>

int main(void) {
  char buf[256];
  int32_t code = ZqDESK(0, "\"k2.dek\" /Y /NOLOGO", buf, sizeof buf);
  printf("%d %s\n", (int)code, buf);
  return code == 0 ? 0 : 1;
}
EOF

# ---- 1. cmake --install into a staging folder --------------------------------------
stage="$work/stage"
DESTDIR="$stage" cmake --install "$out" >/dev/null
expected="usr/bin/nccore
usr/include/nccore21.h
usr/lib/$multiarch/libnccore21.so
usr/lib/$multiarch/libnccore21.so.${version%%.*}
usr/lib/$multiarch/libnccore21.so.$version
usr/lib/$multiarch/pkgconfig/nccore21.pc
usr/share/doc/nccore21/changelog.gz
usr/share/doc/nccore21/copyright
usr/share/man/man1/nccore.1.gz
usr/share/man/ru/man1/nccore.1.gz"
if [[ $(cd "$stage" && find . ! -type d -printf '%P\n' | sort) != "$(sort <<<"$expected")" ]]; then
  diff <(sort <<<"$expected") <(cd "$stage" && find . ! -type d -printf '%P\n' | sort) >&2 || true
  fail "cmake --install installs other files than the expected ones (< expected, > installed)"
fi
if readelf -d "$stage/usr/bin/nccore" | grep -E 'R(UN)?PATH'; then
  fail "the installed nccore keeps a library search path"
fi
(
  cd "$work"
  export PKG_CONFIG_SYSROOT_DIR="$stage" PKG_CONFIG_LIBDIR="$stage/usr/lib/$multiarch/pkgconfig"
  export PKG_CONFIG_ALLOW_SYSTEM_CFLAGS=1 PKG_CONFIG_ALLOW_SYSTEM_LIBS=1
  # shellcheck disable=SC2046  # pkg-config's words are the compiler's arguments
  cc -o use-staged use.c $(pkg-config --cflags --libs nccore21)
  LD_LIBRARY_PATH="$stage/usr/lib/$multiarch" ./use-staged
) || fail "a program built against the staged install does not run"
echo "test-package: cmake --install stages the expected files; a program builds and runs against them"

# ---- 2. the package ----------------------------------------------------------------
lint=$(lintian "$deb" 2>&1 | grep -v 'running with root privileges' || true)
[[ -z $lint ]] || echo "$lint"
if grep -q '^E:' <<<"$lint"; then
  fail "lintian reports errors in $deb"
fi
dpkg-deb -f "$deb" Depends | grep -q '\blibgcrypt20\b' || fail "$deb does not depend on libgcrypt20"

# ---- 3. installed --------------------------------------------------------------------
# Left over by an interrupted run: removed first.
if dpkg-query -W nccore21 >/dev/null 2>&1; then
  as_root dpkg -P nccore21 >/dev/null
fi
installed=1
# Images that keep no manual pages (path-exclude) would drop them: ask for them.
as_root dpkg --path-include='/usr/share/man/*' -i "$deb" >/dev/null ||
  fail "dpkg -i $deb failed (its dependencies: $(dpkg-deb -f "$deb" Depends))"
dpkg -s nccore21 | grep -qx 'Status: install ok installed' || fail "dpkg -s: nccore21 is not installed"
[[ $(command -v nccore) == /usr/bin/nccore ]] || fail "nccore on the PATH is $(command -v nccore), not /usr/bin/nccore"
/usr/bin/nccore --help >/dev/null || fail "nccore --help fails"
[[ $(man -w nccore) == /usr/share/man/man1/nccore.1.gz ]] || fail "man -w nccore: $(man -w nccore)"
[[ $(man -L ru -w nccore) == /usr/share/man/ru/man1/nccore.1.gz ]] || fail "man -L ru -w nccore: $(man -L ru -w nccore)"
page=$(MANWIDTH=80 man nccore 2>/dev/null | head -20)
echo "$page" | head -5
grep -q nccore <<<"$page" || fail "man nccore shows no page"
/usr/bin/nccore --self-test >"$work/self-test.txt" || {
  cat "$work/self-test.txt" >&2
  fail "nccore --self-test fails"
}

cd "$work"
head -c 100000 /dev/urandom >src
/usr/bin/nccore desk k.dek /Y /NOLOGO
/usr/bin/nccore desf src enc /CBC /KEY:k.dek /Y /NOLOGO
/usr/bin/nccore desf enc dec /D /KEY:k.dek /Y /NOLOGO
cmp -s src dec || fail "the DES round trip with the installed nccore does not give the source back"
! cmp -s src enc || fail "the installed nccore's encryption left the source as it was"

# shellcheck disable=SC2046  # pkg-config's words are the compiler's arguments
cc -o use use.c $(pkg-config --cflags --libs nccore21)
./use
[[ -s k2.dek ]] || fail "the program's ZqDESK made no k2.dek"

as_root dpkg -P nccore21 >/dev/null
installed=
if [[ -e /usr/bin/nccore ]] || dpkg-query -W nccore21 >/dev/null 2>&1; then
  fail "dpkg -P left nccore21 behind"
fi
echo "test-package: $deb installs, runs (help, self-test, man pages, DES round trip, pkg-config) and is removed"
