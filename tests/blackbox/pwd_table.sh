#!/usr/bin/env bash
# Black-box table of the change of key protection through the nccore host:
# for each of the five key kinds, made by its own generator, the changes
# PWD -> none, none -> PWD, PWD -> TM and TM -> TESSEL,PWD, in place and to
# a new file; after each, the key still works in its processor and gives
# the same output as before the change (a signature key: a signature that
# checks), and the header's challenge and integrity value (and an RSA key's
# modulus) are those of the original. Then the refusals, each leaving every
# file as it was.
#
#   pwd_table.sh <path-to-nccore> [wine]
#
# With "wine" the Windows build runs as `wine <nccore.exe>` (the WINE
# variable may name another launcher) and its result texts are expected in
# code page 1251. NCCORE_SIM names the demonstration host for the rows with
# simulated carriers (else they are skipped). Each case runs in a fresh
# folder; one line is printed per failing case, and the exit status is 1
# when any case failed.

set -u

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/lib.sh"
host_under_test pwd_table "$@"
NCCORE_SIM=${NCCORE_SIM:-}
[[ -n $NCCORE_SIM ]] && NCCORE_SIM=$(cd "$(dirname "$NCCORE_SIM")" && pwd)/$(basename "$NCCORE_SIM")
SKIPPED=0
require_tools pwd_table od cmp dd truncate

WORK=$(mktemp -d "${TMPDIR:-/tmp}/nccore-pwd.XXXXXX")
cleanup() {
  tm_adapter_registry delete
  rm -rf "$WORK"
}
trap cleanup EXIT
tm_adapter_registry add
source "$HERE/file_table.sh"

# ---- the keys, made once by their generators, and what they produce -------------
# Every secret key behind the password of a.txt: k.dek, k.gek (with the
# table t.gtb), k.gsk (common numbers n.pqa, public key k.gpk), k.dsk
# (common numbers n.ap, public key k.dpk; the other party's pair o.dsk,
# o.dpk in the clear), k.rsk (public key k.rpk). a.bin the source, and
# ref.* what each processor makes of it with the original key.
printf 'old password\n' >"$S/a.txt" && printf 'new password\n' >"$S/b.txt" &&
  printf 'old password\nnew password\n' >"$S/ab.txt" && chmod 600 "$S"/*.txt &&
  head -c 3000 /dev/urandom >"$S/a.bin" &&
  cp "$HERE/../../res/gost/test_paramset.txt" "$S/tp.txt" || exit 2
make_shared pwd_table "gosb tp.txt t.gtb /NOLOGO" "gosc n.pqa /P:512 /NOLOGO" \
  "diap n.ap /P:256-256 /NOLOGO" "dik /AP:n.ap /SECRET:o.dsk /PUBLIC:o.dpk /NOLOGO" \
  "--password-file a.txt desk PWD:k.dek" "--password-file a.txt gosk PWD:k.gek" \
  "--password-file a.txt gosp /PQA:n.pqa /SECRET:PWD:k.gsk /PUBLIC:k.gpk" \
  "--password-file a.txt dik /AP:n.ap /SECRET:PWD:k.dsk /PUBLIC:k.dpk" \
  "--password-file a.txt rsak /N:256-256 /SECRET:PWD:k.rsk /PUBLIC:k.rpk" \
  "--password-file a.txt desf a.bin ref.dek /CBC /KEY:k.dek" \
  "--password-file a.txt gosf a.bin ref.gek /SR /BLK:t.gtb /KEY:k.gek" \
  "--password-file a.txt dif a.bin ref.dsk /CBC /AP:n.ap /SECRET:k.dsk /PUBLIC:o.dpk" \
  "--password-file a.txt rsaf a.bin ref.rsk /SIGN /KEY:k.rsk"

# Runs the host for a check, in the case's folder, its output discarded;
# QUIET ("/NOLOGO" or empty) ends its arguments. (Without a password to
# give, carriers are read silently: a window would wait for a hand.)
QUIET=
quiet_host() { nccore "$@" $QUIET </dev/null >/dev/null 2>&1; }

# The table's checks:
#   works:FLAGS         the key (named by its suffix) does its processor's job
#                       as the original did; FLAGS the host flags it needs,
#                       "pw" (--password-file b.txt, the new password), "tm"
#                       (--carriers dev.txt), both as "pw/tm", or "-"
#   kept:ORIGINAL       only the protection code and the enciphered words
#                       differ from ORIGINAL: the header's other bytes, the
#                       block counts, an RSA key's modulus, and the length
table_check() {
  local file=$1 check=$2 hex=$3 arg=${2#*:}
  local -a flags=()
  case $check in
    works:*)
      [[ $arg == *pw* ]] && flags+=(--password-file "$S/b.txt")
      [[ $arg == *tm* ]] && flags+=(--carriers dev.txt)
      QUIET=/NOLOGO
      [[ $arg == *pw* ]] && QUIET=
      local out=.expect/out
      rm -f "$out"
      case $file in
        *.dek) quiet_host "${flags[@]}" desf a.bin "$out" /CBC "/KEY:$file" ;;
        *.gek) quiet_host "${flags[@]}" gosf a.bin "$out" /SR /BLK:t.gtb "/KEY:$file" ;;
        *.dsk) quiet_host "${flags[@]}" dif a.bin "$out" /CBC /AP:n.ap "/SECRET:$file" /PUBLIC:o.dpk ;;
        *.rsk) quiet_host "${flags[@]}" rsaf a.bin "$out" /SIGN "/KEY:$file" ;;
        *.gsk)
          quiet_host "${flags[@]}" gosf a.bin "$out" /SIGN /BLK:t.gtb /PQA:n.pqa "/SECRET:$file" &&
            quiet_host gosf a.bin "$out" /CHECK /BLK:t.gtb /PQA:n.pqa /PUBLIC:k.gpk ||
            echo "$file: its signature does not check"
          rm -f "$out"
          return
          ;;
      esac
      cmp -s "$out" "ref.${file##*.}" || echo "$file: its output differs from the original key's"
      rm -f "$out"
      ;;
    kept:*)
      local old
      old=$(hex_of_file "$arg")
      [[ ${#hex} == "${#old}" ]] || echo "$file: $((${#hex} / 2)) bytes, the original $((${#old} / 2))"
      [[ ${hex:0:72} == "${old:0:72}" && ${hex:80:16} == "${old:80:16}" ]] ||
        echo "$file: header changed beyond the protection code"
      # The first block's count; an RSA key's modulus in full.
      if [[ $file == *.rsk ]]; then
        local words=$((16#${old:102:2}${old:100:2}${old:98:2}${old:96:2}))
        [[ ${hex:96:$((8 + 8 * words + 8))} == "${old:96:$((8 + 8 * words + 8))}" ]] ||
          echo "$file: the modulus changed"
      else
        [[ ${hex:96:8} == "${old:96:8}" ]] || echo "$file: the block's count changed"
      fi
      ;;
    code:*)
      [[ ${hex:72:8} == "$arg" ]] || echo "$file: protection code ${hex:72:8}, want $arg"
      ;;
    *) echo "unknown check $check" ;;
  esac
}

# ---- the cases -------------------------------------------------------------------
# name | where | setup | arguments | code | suffix | checks
# For each kind K (dek gek gsk dsk rsk): $K the shared files its checks
# need, the key k.K (password a.txt) and its copy orig.K.
DEV='dev.txt<fixture:all_carriers.txt'
for k in dek gek gsk dsk rsk; do
  common="a.bin<shared:a.bin,k.$k<shared:k.$k,orig.$k<shared:k.$k"
  case $k in
    dek) declare "S_$k=$common,ref.dek<shared:ref.dek" ;;
    gek) declare "S_$k=$common,t.gtb<shared:t.gtb,ref.gek<shared:ref.gek" ;;
    gsk) declare "S_$k=$common,t.gtb<shared:t.gtb,n.pqa<shared:n.pqa,k.gpk<shared:k.gpk" ;;
    dsk) declare "S_$k=$common,n.ap<shared:n.ap,o.dpk<shared:o.dpk,ref.dsk<shared:ref.dsk" ;;
    rsk) declare "S_$k=$common,ref.rsk<shared:ref.rsk" ;;
  esac
done
A="--password-file $S/a.txt"
AB="--password-file $S/ab.txt"
rows() {
  local k setup
  for k in dek gek gsk dsk rsk; do
    setup=S_$k
    setup=${!setup}
    cat <<EOF
$k: PWD to none, in place | all | $setup | $A pwd k.$k k.$k /Y | 00 | | k.$k=kept:orig.$k+code:00000000+works:-
$k: PWD to none, a new file | all | $setup | $A pwd k.$k c.$k | 00 | | c.$k=kept:orig.$k+code:00000000+works:-
$k: none to PWD, in place | all | $setup,run:$A pwd k.$k k.$k /Y | --password-file $S/b.txt pwd k.$k PWD:k.$k /Y | 00 | | k.$k=kept:orig.$k+code:01000000+works:pw
$k: PWD to another password, a new file | all | $setup | $AB pwd k.$k PWD:c.$k | 00 | | c.$k=kept:orig.$k+code:01000000+works:pw
$k: PWD to TM, in place | all | $setup,$DEV | $A --carriers dev.txt pwd k.$k TM:k.$k /Y | 00 | | k.$k=kept:orig.$k+code:02000000+works:tm
$k: TM to TESSEL and PWD, a new file | all | $setup,$DEV,run:$A --carriers dev.txt pwd k.$k TM:k.$k /Y | --carriers dev.txt --password-file $S/b.txt pwd k.$k TESSEL,PWD:c.$k | 00 | | c.$k=kept:orig.$k+code:11000000+works:pw/tm
EOF
  done
}
DEK=${S_dek}
CASES=$(
  rows
  cat <<EOF
# Refusals: nothing written, nothing changed.
the wrong old password | all | $DEK,bad.txt<text:old passworD+private | --password-file bad.txt pwd k.dek PWD:c.dek | 31 | k.dek |
the wrong old password, in place | all | $DEK,bad.txt<text:old passworD+private | --password-file bad.txt pwd k.dek k.dek /Y | 31 | k.dek |
the new password not given | all | $DEK | $A pwd k.dek PWD:k.dek /Y | 25 | |
the old password not given | all | $DEK | pwd k.dek c.dek | 25 | |
clear to clear | all | $DEK,run:$A pwd k.dek k.dek /Y | pwd k.dek c.dek | 34 | |
a public key | all | k.rpk<shared:k.rpk | pwd k.rpk PWD:c.rpk | 34 | |
common numbers | all | n.ap<shared:n.ap | pwd n.ap PWD:c.ap | 34 | |
a ciphertext | all | ref.dek<shared:ref.dek | pwd ref.dek PWD:c.dek | 34 | |
a hash file | all | $DEK,run:$A desf a.bin a.h /HASH /KEY:k.dek | pwd a.h PWD:c.h | 34 | |
version 2 | all | $DEK,k.dek<poke:18:02 | pwd k.dek c.dek | 30 | k.dek |
not a data file | all | k.dek<bytes:100 | pwd k.dek c.dek | 27 | k.dek |
32769 bytes | all | k.dek<bytes:32769 | pwd k.dek c.dek | 27 | k.dek |
a key cut short | all | $DEK,k.dek<trunc:58 | pwd k.dek c.dek | 27 | k.dek |
a missing source | all | | pwd k.dek c.dek | 02 | k.dek |
an existing destination without /Y: asked, and no | all | $DEK,c.dek<text:old | $A pwd k.dek c.dek | 11 | c.dek |
a destination in a missing folder | all | $DEK | $A pwd k.dek nodir/c.dek | 03 | nodir/c.dek |
/NOLOGO is a third name | all | $DEK | $A pwd k.dek c.dek /NOLOGO | 01 | |
one name | all | $DEK | pwd k.dek | 01 | |
EOF
)

run_cases "$CASES"

help_text=$(cd "$WORK" && "${LAUNCHER[@]}" "$NCCORE" --help 2>/dev/null)
if [[ $? != 0 || $help_text != *ZqPWD* ]]; then
  fail "--help names ZqPWD"
else
  PASSED=$((PASSED + 1))
fi

((SKIPPED)) && echo "pwd_table: $SKIPPED cases with simulated carriers skipped (no NCCORE_SIM host)"
echo "pwd_table ($MODE): $PASSED passed, $FAILED failed"
((FAILED == 0))
