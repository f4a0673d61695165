#!/usr/bin/env bash
# The manual pages nccore(1), English (docs/man/nccore.1) and Russian
# (docs/man/ru/nccore.1), kept true to the program:
#   man_pages.sh <nccore> [wine]
# Each page renders without a single groff warning, and its text names every
# operation `nccore --help` lists with every option those lines show, every
# host flag (the fixed list below and any flag --help lists), and every
# result text of res/strings.txt exactly as the library prints it.
set -u
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/lib.sh"
host_under_test man_pages "$@"
require_tools man_pages groff preconv
ROOT=$(cd "$HERE/../.." && pwd)

# The host's flags, including those the host may not have yet.
flags=(--password-file --password-fd --password-encoding --carriers --version --self-test --help)

help=$("${LAUNCHER[@]}" "$NCCORE" --help </dev/null | tr -d '\r')
# "  ZqDESK   DES key: [[PWD,...:]<key.dek>] [/Y] [/NOLOGO]"
mapfile -t operations < <(sed -n 's/^  \(Zq[A-Z0-9]*\) .*/\1/p' <<<"$help")
mapfile -t options < <(grep -E '^  Zq[A-Z0-9]+ ' <<<"$help" | grep -oE '/[A-Z]+:?' | sort -u)
mapfile -t -O ${#flags[@]} flags < <(grep -oE '^  --[a-z][a-z-]*' <<<"$help" | sed 's/^  //')
# The result texts: ids 1000 to 1099, "NN: text" (the file name that some of
# them take follows their trailing blank).
mapfile -t results < <(awk -F'\t' '$1 >= 1000 && $1 < 1100 { sub(/ +$/, "", $2); print $2 }' \
  "$ROOT/res/strings.txt")
if [[ ${#operations[@]} -eq 0 || ${#results[@]} -eq 0 ]]; then
  echo "man_pages: no operations in '$NCCORE --help' or no result texts in res/strings.txt" >&2
  exit 2
fi

for page in "$ROOT/docs/man/nccore.1" "$ROOT/docs/man/ru/nccore.1"; do
  name=${page#"$ROOT/"}
  problems=()
  if [[ ! -f $page ]]; then
    case_verdict "$name" "missing"
    continue
  fi
  # -k: the page's UTF-8 through preconv, as man(1) reads it.
  warnings=$(groff -k -man -ww -z -Tutf8 "$page" 2>&1)
  # And as lintian reads it, where man-db is installed.
  if [[ -z $warnings ]] && command -v man >/dev/null; then
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
      man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  fi
  [[ -n $warnings ]] && problems+=("renders with warnings: $(head -3 <<<"$warnings")")
  # Long lines and no hyphenation, so no name is broken; minus signs and
  # hyphens as ASCII.
  text=$(groff -k -man -Tutf8 -rLL=250n -rHY=0 -P-cbou "$page" 2>/dev/null |
    sed 's/\xe2\x88\x92/-/g; s/\xe2\x80\x90/-/g')
  for word in "${operations[@]}" "${options[@]}" "${flags[@]}" "${results[@]}"; do
    grep -qF -- "$word" <<<"$text" || problems+=("does not name '$word'")
  done
  case_verdict "$name" "${problems[@]}"
done
all_passed man_pages
