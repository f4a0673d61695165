#!/usr/bin/env bash
# Installs the Debian packages a build needs, only those that are missing.
#   setup.sh native    compiler, CMake, Ninja, libgcrypt, GoogleTest, the
#                      tests' peers and tools (OpenSSL, rhash, xxd, Python, and
#                      GNU time for the benchmarks), and what makes and checks
#                      the Debian package and the manual pages (dpkg-dev,
#                      lintian, man-db, groff, file)
#   setup.sh all       the above, plus the Windows cross-compilers (32-bit for
#                      the shipped DLLs, 64-bit for the tests), wine64, Xvfb,
#                      the Russian locale (Wine draws Cyrillic in dialogs only
#                      under it) and the X tools that take screenshots
#   setup.sh wine32    all, plus i386 Wine, for a machine whose kernel runs
#                      32-bit programs (the 32-bit suite then runs too)
set -euo pipefail

want=${1:-native}

native_packages=(g++ cmake ninja-build pkg-config libgcrypt20-dev googletest libgtest-dev libssl-dev
                 rhash libengine-gost-openssl openssl xxd python3 time
                 dpkg-dev lintian man-db groff-base file)
windows_packages=(g++-mingw-w64-i686 mingw-w64-i686-dev g++-mingw-w64-x86-64 mingw-w64-x86-64-dev
                  libgcrypt-mingw-w64-dev wine64 xvfb xauth locales imagemagick x11-utils)

case $want in
  native) packages=("${native_packages[@]}") ;;
  all) packages=("${native_packages[@]}" "${windows_packages[@]}") ;;
  wine32) packages=("${native_packages[@]}" "${windows_packages[@]}" wine wine32:i386) ;;
  *)
    echo "usage: setup.sh [native|all|wine32]" >&2
    exit 2
    ;;
esac

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

if [ "$want" = wine32 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  if [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != "install ok installed" ]; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ] || [ -n "${need_update:-}" ]; then
  echo "setup: installing ${missing[*]:-(package lists only)}" >&2
  as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q >/dev/null
  if [ ${#missing[@]} -gt 0 ]; then
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
      "${missing[@]}" >/dev/null
  fi
fi

# The Russian locale for Wine's dialogs (the Windows half of the tests).
if [ "$want" != native ] && ! locale -a 2>/dev/null | grep -qix 'ru_RU.utf8'; then
  echo "setup: generating the locale ru_RU.UTF-8" >&2
  as_root sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
  as_root locale-gen >/dev/null
fi
