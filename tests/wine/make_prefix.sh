#!/usr/bin/env bash
# Makes the Wine prefix WINEPREFIX once: the first start of Wine in a new
# prefix sets it up (about half a minute), after which the prefix is reused.
#   make_prefix.sh <wine loader> <wineserver>
# Fails when Wine cannot start a program there.
set -euo pipefail
wine=$1 wineserver=$2
: "${WINEPREFIX:?WINEPREFIX must name the prefix}"
if [[ ! -f $WINEPREFIX/system.reg ]]; then
  echo "make_prefix: creating $WINEPREFIX" >&2
  "$wine" wineboot -i >/dev/null 2>&1 || true
  "$wineserver" -w
fi
# Wine really runs a program in it.
version=$("$wine" cmd /c ver 2>/dev/null | tr -d '\r')
if [[ $version != *Windows* ]]; then
  echo "make_prefix: $wine does not run programs in $WINEPREFIX (it said: '$version')" >&2
  exit 1
fi
echo "make_prefix: $version"
# A server that stays up between the tests' programs (60 s after the last
# one ends): with the default 3 s, a program starting while the previous
# server shuts down can fail before it runs. Its output goes nowhere, so
# that this test's pipes close.
"$wineserver" -w
"$wineserver" -p60 </dev/null >/dev/null 2>&1
