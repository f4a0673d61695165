#!/usr/bin/env bash
# The shipped set alone: nccore.exe, NCCORE21.DLL and the companion DLLs it
# imports, copied into a folder of their own, run one job of each kind of
# module under Wine (a substitution block through the frame, Diffie-Hellman
# numbers through ZQBIG32 and ZQCOM32, a DES key and file through ZQDES32),
# and the library's self-test, which calls every companion DLL.
#   shipped_set.sh <folder of the built DLLs and nccore.exe>
# The WINE variable names the launcher (default `wine`).
set -u
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/../blackbox/lib.sh"
host_under_test shipped_set "$1/nccore.exe" wine

WORK=$(mktemp -d "${TMPDIR:-/tmp}/nccore-shipped.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
for file in nccore.exe NCCORE21.DLL ZQDES32.DLL ZQCOM32.DLL ZQBIG32.dll ZQGOS32.DLL ZQRSA32.DLL; do
  cp "$1/$file" "$WORK/" || {
    echo "shipped_set: the build has no $file" >&2
    exit 2
  }
done
cd "$WORK" || exit 2
cp "$HERE/../blackbox/gosb_table.txt" table.txt

job() {  # case name, expected code, expected text after the tag, arguments...
  local name=$1 code=$2 text=$3 status problems=()
  shift 3
  NCCORE_UI=headless "${LAUNCHER[@]}" ./nccore.exe "$@" </dev/null >out.txt 2>err.txt
  status=$?
  ((status == code)) || problems+=("exit code $status, expected $code ($(cat err.txt))")
  local tag=${1^^}
  problem=$(result_text_problem out.txt "ZQ$tag$text")
  [[ -n $problem ]] && problems+=("$problem")
  case_verdict "$name" "${problems[@]}"
}

job "gosb imports a table" 0 "${MESSAGE[00]}" gosb table.txt out.gtb
job "diap writes numbers" 0 "${MESSAGE[00]}" diap out.ap
job "diap refuses a bad range" 1 "${MESSAGE[01]}" diap out2.ap /P:8-100
job "desk writes a key" 0 "${MESSAGE[00]}" desk k.dek
job "desf encrypts" 0 "${MESSAGE[00]}" desf table.txt t.enc /CBC /KEY:k.dek
job "desf decrypts" 0 "${MESSAGE[00]}" desf t.enc t.dec /D /KEY:k.dek
problems=()
cmp -s table.txt t.dec || problems+=("the decrypted file differs")
[[ -e out2.ap ]] && problems+=("out2.ap written")
[[ $(head -c 17 out.ap) == TAVOCRYPTDATAFILE ]] || problems+=("out.ap is no data file")
case_verdict "files" "${problems[@]}"
# The self-test runs inside the shipped DLLs alone.
self_test_cases "$WORK" windows

echo "shipped_set: $PASSED passed, $FAILED failed"
((FAILED == 0))
