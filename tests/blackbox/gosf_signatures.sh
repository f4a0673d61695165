#!/usr/bin/env bash
# GOST R 34.10-94 signatures of `nccore gosf` checked by an independent
# verifier (tests/tools/gost_sign_check.py: its own arithmetic and its own
# reading of the .PQA, .GPK and signature files): common numbers of 512 and
# 1024 bits, a key pair, signatures of an empty, a one-byte and a 100 KiB
# file under the test block and the CryptoPro hash block; each checked with
# /CHECK and with the verifier, the hash it needs taken from rhash (the
# GOST R 34.11-94 peer) and compared with our /HASH. A changed source byte
# or signature byte makes both refuse it; a cut file makes the verifier
# report a malformed file.
#
#   gosf_signatures.sh <path-to-nccore> [wine]
#
# Without rhash the hash comes from `nccore gosf ... /HASH` alone. One line
# is printed per failing case; the exit status is 1 when any case failed.

set -u

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/lib.sh"
host_under_test gosf_signatures "$@"
require_tools gosf_signatures python3 od dd head stat
CHECKER=$HERE/../tools/gost_sign_check.py
SAMPLES=$HERE/../../res/gost

WORK=$(mktemp -d "${TMPDIR:-/tmp}/nccore-gosf-sign.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 2

nccore() { NCCORE_UI=headless "${LAUNCHER[@]}" "$NCCORE" "$@" </dev/null; }

# The sample texts and rhash's option for the hash with each block.
declare -A RHASH=([test_paramset]=--gost94 [cryptopro_hash]=--gost94-cryptopro)
HAVE_RHASH=1
command -v rhash >/dev/null || HAVE_RHASH=0

# expect_exit LABEL CODE ARGS...: the host with ARGS; a problem (added to the
# case's `problems`) when its exit code is not CODE.
expect_exit() {
  local label=$1 code=$2 got
  shift 2
  nccore "$@" >out.txt 2>&1
  got=$?
  ((got == code)) || problems+=("$label: exit $got (expected $code): $(tr -d '\r' <out.txt)")
}

# The 32-byte hash of FILE with BLOCK as the verifier takes it: rhash's, which
# must equal our /HASH payload, or ours alone without rhash.
hash_of() {  # file, block sample name; prints the hex, or a problem on stderr
  local ours
  nccore gosf "$1" hash.out /HASH "/BLK:$2.gtb" /Y /NOLOGO >out.txt 2>&1 ||
    { echo "/HASH of $1 failed: $(tr -d '\r' <out.txt)" >&2; return 1; }
  ours=$(od -An -tx1 -v -j48 hash.out | tr -d ' \n')
  if ((HAVE_RHASH)); then
    local theirs
    theirs=$(rhash "${RHASH[$2]}" --simple "$1" | cut -d' ' -f1)
    if [[ $theirs != "$ours" ]]; then
      echo "/HASH of $1 with $2 is $ours, rhash ${RHASH[$2]} says $theirs" >&2
      return 1
    fi
  fi
  printf '%s' "$ours"
}

# expect_verdict CODE PQA GPK SIGNATURE SOURCE BLOCK: the verifier on the
# signature with the hash of SOURCE; a problem when its exit status is not
# CODE.
expect_verdict() {
  local code=$1 hash got
  if ! hash=$(hash_of "$5" "$6" 2>hash.err); then
    problems+=("$(cat hash.err)")
    return
  fi
  python3 "$CHECKER" "$2" "$3" "$4" "$hash" >verifier.txt 2>&1
  got=$?
  ((got == code)) || problems+=("verifier exit $got (expected $code): $(cat verifier.txt)")
}

# flip_byte FILE OFFSET: the byte at OFFSET inverted.
flip_byte() {
  local old
  old=$(od -An -tu1 -j"$2" -N1 "$1" | tr -d ' ')
  # shellcheck disable=SC2059  # the format is a single \xNN escape
  printf "\\x$(printf '%02x' $((old ^ 255)))" |
    dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

# ---- the files -----------------------------------------------------------------------
head -c 0 /dev/urandom >empty.bin
head -c 1 /dev/urandom >one.bin
head -c 102400 /dev/urandom >large.bin
for block in "${!RHASH[@]}"; do
  nccore gosb "$SAMPLES/$block.txt" "$block.gtb" /NOLOGO >out.txt 2>&1 ||
    { echo "gosf_signatures: gosb $block: $(cat out.txt)" >&2; exit 2; }
done

for bits in 512 1024; do
  pqa=n$bits.pqa secret=x$bits.gsk public=y$bits.gpk
  problems=()
  expect_exit gosc 0 gosc "$pqa" "/P:$bits" /NOLOGO
  expect_exit gosp 0 gosp "/PQA:$pqa" "/SECRET:$secret" "/PUBLIC:$public" /NOLOGO
  case_verdict "$bits-bit numbers and key pair" "${problems[@]}"
  ((${#problems[@]})) && continue

  for block in test_paramset cryptopro_hash; do
    for src in empty.bin one.bin large.bin; do
      name="$bits bits, $block, $src"
      sig=$src.$bits.$block.sig
      problems=()
      expect_exit /SIGN 0 gosf "$src" "$sig" /SIGN "/BLK:$block.gtb" "/PQA:$pqa" "/SECRET:$secret" \
        /Y /NOLOGO
      size=$(stat -c %s "$sig" 2>/dev/null || echo none)
      [[ $size == 112 ]] || problems+=("signature file of $size bytes, 112 expected")
      expect_exit /CHECK 0 gosf "$src" "$sig" /CHECK "/BLK:$block.gtb" "/PQA:$pqa" \
        "/PUBLIC:$public" /NOLOGO
      expect_verdict 0 "$pqa" "$public" "$sig" "$src" "$block"
      case_verdict "$name: signed and checked" "${problems[@]}"
    done

    # A changed source byte: both refuse the signature of the original.
    name="$bits bits, $block: a changed source byte"
    problems=()
    sig=large.bin.$bits.$block.sig
    cp large.bin changed.bin
    flip_byte changed.bin 51200
    expect_exit /CHECK 12 gosf changed.bin "$sig" /CHECK "/BLK:$block.gtb" "/PQA:$pqa" \
      "/PUBLIC:$public" /NOLOGO
    expect_verdict 1 "$pqa" "$public" "$sig" changed.bin "$block"
    case_verdict "$name" "${problems[@]}"

    # A changed signature byte (in s): both refuse it.
    name="$bits bits, $block: a changed signature byte"
    problems=()
    cp "$sig" changed.sig
    flip_byte changed.sig 90
    expect_exit /CHECK 12 gosf large.bin changed.sig /CHECK "/BLK:$block.gtb" "/PQA:$pqa" \
      "/PUBLIC:$public" /NOLOGO
    expect_verdict 1 "$pqa" "$public" changed.sig large.bin "$block"
    case_verdict "$name" "${problems[@]}"
  done

  # Files the verifier cannot use: exit 2.
  sig=large.bin.$bits.test_paramset.sig
  head -c 100 "$public" >cut.gpk
  head -c 100 "$sig" >cut.sig
  for args in "$pqa cut.gpk $sig" "$pqa $public cut.sig" "$public $public $sig"; do
    read -r -a files <<<"$args"
    problems=()
    python3 "$CHECKER" "${files[@]}" "$(printf '%064d' 0)" >verifier.txt 2>&1
    code=$?
    ((code == 2)) || problems+=("exit $code: $(cat verifier.txt)")
    case_verdict "$bits bits: the verifier refuses $args" "${problems[@]}"
  done
done

((HAVE_RHASH)) || echo "gosf_signatures: rhash is missing; the hashes were not compared"
all_passed gosf_signatures
