#!/usr/bin/env bash
# The overwrite question on a terminal: the host runs under a pseudo-terminal
# (util-linux `script`) and the answer is typed on it.
#   terminal.sh <path-to-nccore>
set -u
nccore=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

for i in 1 2 3 4 5 6 7 8; do echo "4 a 9 2 d 8 0 e"; done > table.txt
failures=0

# answer typed | expected code | expected destination content afterwards
cases=(
  "д|0|gtb"
  "yes|0|gtb"
  "Y|0|gtb"
  "н|11|old"
  "no|11|old"
  "|11|old"
)
for case in "${cases[@]}"; do
  IFS='|' read -r answer want content <<<"$case"
  echo old > out.gtb
  out=$(printf '%s\n' "$answer" | NCCORE_UI=terminal script -qec "$nccore gosb table.txt out.gtb" /dev/null)
  code=$?
  got=old
  [ "$(head -c 17 out.gtb)" = TAVOCRYPTDATAFILE ] && got=gtb
  if [ "$code" != "$want" ] || [ "$got" != "$content" ] || ! grep -q 'Перезаписать файл?' <<<"$out"; then
    echo "FAIL: answer '$answer': code $code (want $want), destination $got (want $content)"
    failures=$((failures + 1))
  fi
done

# End of input on the terminal is a "no".
echo old > out.gtb
NCCORE_UI=terminal script -qec "$nccore gosb table.txt out.gtb" /dev/null </dev/null >/dev/null
code=$?
if [ "$code" != 11 ] || [ "$(cat out.gtb)" != old ]; then
  echo "FAIL: end of input: code $code (want 11)"
  failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] && echo "terminal: all cases passed"
[ "$failures" -eq 0 ]
