#!/usr/bin/env bash
# Key files and ciphertexts move between the Linux and the Windows build: a
# key protected by a password with Cyrillic letters, made on one side, opens
# on the other, and both sides encrypt a file to the same bytes under it.
#
#   cross_platform.sh <native nccore> <nccore.exe>
#
# The Windows program runs under Wine (the WINE variable names the launcher,
# default `wine`). The passwords are handed over through --password-file:
# UTF-8 on both sides (named so: the Windows host reads code page 1251 by
# default), and code page 1251 on the Windows side as a Windows user's
# editor would save it.

set -u

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/lib.sh"
if [[ $# != 2 || ! -f $1 || ! -f $2 ]]; then
  echo "usage: $0 <native nccore> <nccore.exe>" >&2
  exit 2
fi
NATIVE=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
host_under_test cross_platform "$2" wine
WINDOWS=$NCCORE

WORK=$(mktemp -d "${TMPDIR:-/tmp}/nccore-cross.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 2

PASSWORD='Ёжик в тумане 2024'
WRONG='Ёжик в тумане 2025'
(umask 077 && printf '%s\n' "$PASSWORD" >pw.txt && printf '%s\n' "$WRONG" >wrong.txt &&
  printf '%s\n' "$PASSWORD" | iconv -f UTF-8 -t CP1251 >pw1251.txt) || exit 2
head -c 100003 /dev/urandom >plain.bin

# side SIDE ARGS...: runs the host of one side ("linux" or "windows") in the
# work folder; its result code goes to CODE. Password files are UTF-8 unless
# ARGS name another encoding.
side() {
  local which=$1
  shift
  [[ " $* " == *" --password-encoding "* ]] || set -- --password-encoding utf-8 "$@"
  if [[ $which == linux ]]; then
    NCCORE_UI=headless "$NATIVE" "$@" </dev/null >out.txt 2>err.txt
  else
    NCCORE_UI=headless "${LAUNCHER[@]}" "$WINDOWS" "$@" </dev/null >out.txt 2>err.txt
  fi
  CODE=$?
}
expect() {  # case name, expected code, [problems...]
  local name=$1 want=$2
  shift 2
  local problems=("$@")
  ((CODE == want)) || problems+=("exit code $CODE, expected $want: $(tr -d '\r' <out.txt)")
  case_verdict "$name" "${problems[@]}"
}

for maker in linux windows; do
  other=windows
  [[ $maker == windows ]] && other=linux
  key="ключ-$maker.dek"
  rm -f ./*.enc ./*.dec ./*.mac
  side "$maker" --password-file pw.txt desk "PWD:$key" /Y
  expect "$maker makes a password-protected key" 0

  # Encryption under the key on each side gives the same bytes, and each
  # side decrypts the other's ciphertext.
  side "$maker" --password-file pw.txt desf plain.bin "$maker.enc" /CBC "/KEY:$key"
  expect "$maker encrypts under its key" 0
  side "$other" --password-file pw.txt desf plain.bin "$other.enc" /CBC "/KEY:$key"
  expect "$other opens the key made on $maker and encrypts" 0
  problems=()
  cmp -s "$maker.enc" "$other.enc" || problems+=("the ciphertexts differ")
  case_verdict "$maker key: both sides write the same ciphertext" "${problems[@]}"
  side "$other" --password-file pw.txt desf "$maker.enc" "$other.dec" /D "/KEY:$key"
  problems=()
  cmp -s plain.bin "$other.dec" || problems+=("the plaintext differs")
  expect "$other decrypts what $maker encrypted" 0 "${problems[@]}"
  side "$other" --password-file pw.txt desf plain.bin "$other.mac" /HASH "/KEY:$key"
  side "$maker" --password-file pw.txt desf plain.bin "$maker.mac" /HASH "/KEY:$key"
  problems=()
  cmp -s "$maker.mac" "$other.mac" || problems+=("the keyed hashes differ")
  expect "$maker key: both sides compute the same keyed hash" 0 "${problems[@]}"

  # The same password saved in code page 1251 opens it on Windows; a
  # password one character off is refused on both sides with 31.
  side windows --password-encoding cp1251 --password-file pw1251.txt desf plain.bin w1251.enc /CBC "/KEY:$key"
  problems=()
  cmp -s w1251.enc "$maker.enc" || problems+=("the ciphertext differs")
  expect "$maker key: the password in code page 1251 opens it on windows" 0 "${problems[@]}"
  for side_name in linux windows; do
    side "$side_name" --password-file wrong.txt desf plain.bin x.enc /CBC "/KEY:$key"
    problems=()
    [[ -e x.enc ]] && problems+=("x.enc written")
    expect "$maker key: $side_name refuses another password" 31 "${problems[@]}"
  done
done

echo "cross_platform: $PASSED passed, $FAILED failed"
((FAILED == 0))
