#!/usr/bin/env bash
# Black-box table of the Diffie-Hellman file crypto processor through the
# nccore host: arguments in; exit codes, result texts and file bytes out.
# Python's pow is the independent peer for the shared number K (from the
# files' numbers), OpenSSL's DES for the ciphertexts under K mod 2^64, and
# the DES file processor under a key file holding those 8 bytes.
#
#   dif_table.sh <path-to-nccore> [wine]
#
# With "wine" the Windows build runs as `wine <nccore.exe>` (the WINE
# variable may name another launcher) and its result texts are expected in
# code page 1251. Each case runs in a fresh folder; one line is printed per
# failing case, and the exit status is 1 when any case failed.

set -u

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/lib.sh"
host_under_test dif_table "$@"
NCCORE_SIM=
SKIPPED=0
require_tools dif_table openssl od cmp dd truncate python3

check_integrity_register

WORK=$(mktemp -d "${TMPDIR:-/tmp}/nccore-dif.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
IV=4b4c424e56527a7a # "KLBNVRzz", the vector of every DES file job
OPENSSL=(openssl enc -provider legacy -provider default)
source "$HERE/file_table.sh"

# ---- the key and number files, made once and copied into the cases ----------------
# c.ap common numbers of a 512-bit P; 1.dsk/1.dpk and 2.dsk/2.dpk two users'
# clear pairs; p.dsk/p.dpk a pair whose secret key is behind the password of
# pw.txt; o.ap/o.dsk/o.dpk other common numbers and a pair of them; d.dek a
# DES key.
shared_password
make_shared dif_table "diap c.ap /P:512-512 /NOLOGO" "diap o.ap /P:512-512 /NOLOGO" \
  "dik /AP:c.ap /SECRET:1.dsk /PUBLIC:1.dpk /NOLOGO" \
  "dik /AP:c.ap /SECRET:2.dsk /PUBLIC:2.dpk /NOLOGO" \
  "dik /AP:o.ap /SECRET:o.dsk /PUBLIC:o.dpk /NOLOGO" \
  "--password-file pw.txt dik /AP:c.ap /SECRET:PWD:p.dsk /PUBLIC:p.dpk" \
  "desk d.dek /NOLOGO"

# The peer: Python's arithmetic on the files' numbers (tests/tools/dh_numbers.py).
peer() { python3 "$HERE/../tools/dh_numbers.py" "$@"; }

# The table's recipe steps:
#   dek:AP:DSK:DPK      a DES key file holding K mod 2^64 of those files
table_recipe_step() {
  local file=$1 step=$2
  local -a f
  IFS=':' read -r -a f <<<"${step#*:}"
  case $step in
    dek:*) bytes_of_hex "$(key_file_hex 2 1 "$(peer key "${f[0]}" "${f[1]}" "${f[2]}")")" >"$file" ;;
    *)
      echo "unknown recipe step $step" >&2
      return 1
      ;;
  esac
}

# The table's check:
#   openssl:CIPHER:SRC:AP:DSK:DPK  the payload is OpenSSL's CIPHER of SRC
#                       (whole blocks, no padding) under K mod 2^64 of
#                       those files, with the jobs' vector
table_check() {
  local file=$1 check=$2 hex=$3
  local -a f
  IFS=':' read -r -a f <<<"${check#*:}"
  case $check in
    openssl:*)
      local -a iv=(-iv "$IV")
      [[ ${f[0]} == des-ecb ]] && iv=()
      local want
      want=$("${OPENSSL[@]}" -e "-${f[0]}" -nopad -K "$(peer key "${f[2]}" "${f[3]}" "${f[4]}")" \
        "${iv[@]}" -in "${f[1]}" | hex_of_file -)
      [[ ${hex:96} == "$want" ]] ||
        echo "$file: payload ${hex:96:64}..., OpenSSL ${f[0]} ${want:0:64}..."
      ;;
    *) echo "unknown check $check" ;;
  esac
}

# ---- the cases -------------------------------------------------------------------
# name | where | setup | arguments | code | suffix | checks
# Setup abbreviations: U1 user 1's view (c.ap, its 1.dsk, user 2's 2.dpk),
# U2 user 2's (c.ap, 2.dsk, 1.dpk); K1 and K2 the options naming them; MSG a
# 1000-byte a.bin; ENC MSG enciphered by user 1.
U1='c.ap<shared:c.ap,1.dsk<shared:1.dsk,2.dpk<shared:2.dpk'
U2='c.ap<shared:c.ap,2.dsk<shared:2.dsk,1.dpk<shared:1.dpk'
K1='/AP:c.ap /SECRET:1.dsk /PUBLIC:2.dpk'
K2='/AP:c.ap /SECRET:2.dsk /PUBLIC:1.dpk'
MSG='a.bin<bytes:1000'
ENC="$U1,$U2,$MSG,run:dif a.bin a.enc /CBC $K1"
DEFAULTS='Числа AP.AP<shared:c.ap,Секретный сеансовый ключ.DSK<shared:1.dsk,Публичный сеансовый ключ.DPK<shared:2.dpk'
CASES=$(
  cat <<EOF
# Two users: one encrypts for the other, who decrypts; the same keyed hash.
user 2 decrypts what user 1 encrypted | all | $ENC | dif a.enc b.bin /D $K2 | 00 | | b.bin=same:a.bin
user 1 decrypts what user 2 encrypted | all | $U1,$U2,$MSG,run:dif a.bin a.enc /OFB $K2 | dif a.enc b.bin /D $K1 | 00 | | b.bin=same:a.bin
/HASH is the same on both sides | all | $U1,$U2,$MSG,run:dif a.bin h1 /HASH $K1 | dif a.bin h2 /HASH $K2 | 00 | | h2=hdr:4:2:0:8:0+size:56+same:h1
the default names | all | $DEFAULTS,$U1,$MSG | dif a.bin a.enc /CBC | 00 | | a.enc=openssl:des-cbc:a.bin:c.ap:1.dsk:2.dpk
# The ciphertexts are DES files under K mod 2^64.
/CBC is OpenSSL's DES-CBC | all | $U1,$MSG | dif a.bin a.enc /CBC $K1 | 00 | | a.enc=hdr:2:2:2:8:1000+size:1048+openssl:des-cbc:a.bin:c.ap:1.dsk:2.dpk
/ECB is OpenSSL's DES-ECB | all | $U1,$MSG | dif a.bin a.enc /ECB $K1 | 00 | | a.enc=hdr:2:2:1:8:1000+openssl:des-ecb:a.bin:c.ap:1.dsk:2.dpk
/CFB is OpenSSL's 64-bit CFB | all | $U1,$MSG | dif a.bin a.enc /CFB $K1 | 00 | | a.enc=hdr:2:2:3:8:1000+openssl:des-cfb:a.bin:c.ap:1.dsk:2.dpk
/CFB:1 is OpenSSL's 8-bit CFB | all | $U1,$MSG | dif a.bin a.enc /CFB:1 $K1 | 00 | | a.enc=hdr:2:2:3:1:1000+openssl:des-cfb8:a.bin:c.ap:1.dsk:2.dpk
/OFB is OpenSSL's DES-OFB | all | $U1,$MSG | dif a.bin a.enc /OFB $K1 | 00 | | a.enc=hdr:2:2:4:8:1000+openssl:des-ofb:a.bin:c.ap:1.dsk:2.dpk
/OFB:5: mode 4, unit 5 | all | $U1,$MSG | dif a.bin a.enc /OFB:5 $K1 | 00 | | a.enc=hdr:2:2:4:5:1000+size:1048
/CBC is the DES processor's under that key | all | $U1,$MSG,k.dek<dek:c.ap:1.dsk:2.dpk,run:desf a.bin d.enc /CBC /KEY:k.dek | dif a.bin a.enc /CBC $K1 | 00 | | a.enc=same:d.enc
the DES processor decrypts it with that key | all | $ENC,k.dek<dek:c.ap:1.dsk:2.dpk | desf a.enc b.bin /D /KEY:k.dek | 00 | | b.bin=same:a.bin
a public key of other common numbers: garbage, and 00 | all | $U2,o.dpk<shared:o.dpk,$ENC | dif a.enc b.bin /D /AP:c.ap /SECRET:2.dsk /PUBLIC:o.dpk | 00 | | b.bin=size:1000+differ:a.bin
in place and back in place | all | $U1,$U2,$MSG,c.bin<copy:a.bin,run:dif c.bin c.bin /CBC $K1 /Y | dif c.bin c.bin /D $K2 /Y | 00 | | c.bin=same:a.bin
/COMP needs no key file | all | $MSG,b.bin<copy:a.bin | dif a.bin b.bin /COMP | 00 | |
/COMP of different files | all | $MSG,b.bin<copy:a.bin+flip:10 | dif a.bin b.bin /COMP | 07 | |
# Options.
no command | all | $U1,$MSG | dif a.bin a.enc $K1 | 01 | |
two commands | all | $U1,$MSG | dif a.bin a.enc /CBC /ECB $K1 | 01 | |
a third name | all | $U1,$MSG | dif a.bin a.enc c.enc /CBC $K1 | 01 | |
/CFB:9 | all | $U1,$MSG | dif a.bin a.enc /CFB:9 $K1 | 01 | |
an existing destination with /NOLOGO, before any key file | all | $MSG,a.enc<text:old | dif a.bin a.enc /CBC /NOLOGO | 11 | a.enc |
# Key files that cannot be used: the code and the file's name, no output.
missing secret key | all | $MSG,c.ap<shared:c.ap,2.dpk<shared:2.dpk | dif a.bin a.enc /CBC $K1 | 02 | ' 1.dsk' |
missing common numbers | all | $MSG,1.dsk<shared:1.dsk,2.dpk<shared:2.dpk | dif a.bin a.enc /CBC $K1 | 02 | ' c.ap' |
missing public key | all | $MSG,c.ap<shared:c.ap,1.dsk<shared:1.dsk | dif a.bin a.enc /CBC $K1 | 02 | ' 2.dpk' |
missing default secret key | all | $MSG | dif a.bin a.enc /CBC | 02 | ' Секретный сеансовый ключ.DSK' |
a public key as secret key | all | $U1,$MSG | dif a.bin a.enc /CBC /AP:c.ap /SECRET:2.dpk /PUBLIC:2.dpk | 27 | ' 2.dpk' |
a DES key as public key | all | $U1,$MSG,d.dek<shared:d.dek | dif a.bin a.enc /CBC /AP:c.ap /SECRET:1.dsk /PUBLIC:d.dek | 27 | ' d.dek' |
a public key as common numbers | all | $U1,$MSG | dif a.bin a.enc /CBC /AP:2.dpk /SECRET:1.dsk /PUBLIC:2.dpk | 27 | ' 2.dpk' |
a secret key of version 2 | all | $U1,$MSG,1.dsk<shared:1.dsk+poke:18:02 | dif a.bin a.enc /CBC $K1 | 30 | ' 1.dsk' |
common numbers of version 2 | all | $U1,$MSG,c.ap<shared:c.ap+poke:18:02 | dif a.bin a.enc /CBC $K1 | 30 | ' c.ap' |
a public key of version 2 | all | $U1,$MSG,2.dpk<shared:2.dpk+poke:18:02 | dif a.bin a.enc /CBC $K1 | 30 | ' 2.dpk' |
a secret key altered | all | $U1,$MSG,1.dsk<shared:1.dsk+flip:60 | dif a.bin a.enc /CBC $K1 | 31 | ' 1.dsk' |
common numbers altered | all | $U1,$MSG,c.ap<shared:c.ap+flip:60 | dif a.bin a.enc /CBC $K1 | 31 | ' c.ap' |
a public key altered | all | $U1,$MSG,2.dpk<shared:2.dpk+flip:60 | dif a.bin a.enc /CBC $K1 | 31 | ' 2.dpk' |
a public key of more than 64 words | all | $U1,$MSG,2.dpk<shared:2.dpk+poke:48:41 | dif a.bin a.enc /CBC $K1 | 02 | ' 2.dpk' |
a public key of 1 | all | $U1,$MSG,2.dpk<hex:$(key_file_hex 4 3 01000000) | dif a.bin a.enc /CBC $K1 | 27 | ' 2.dpk' |
# Protected secret keys.
password key with /NOLOGO | all | $ENC,p.dsk<shared:p.dsk | dif a.enc b.bin /D /AP:c.ap /SECRET:p.dsk /PUBLIC:1.dpk /NOLOGO | 25 | | b.bin=-
password key, both ways | all | $U1,$U2,$MSG,p.dpk<shared:p.dpk,p.dsk<shared:p.dsk,pw.txt<shared:pw.txt,run:dif a.bin a.enc /CBC /AP:c.ap /SECRET:1.dsk /PUBLIC:p.dpk | --password-file pw.txt dif a.enc b.bin /D /AP:c.ap /SECRET:p.dsk /PUBLIC:1.dpk | 00 | | b.bin=same:a.bin
# Sources and destinations.
missing source | all | $U1 | dif nope.bin a.enc /CBC $K1 | 02 | nope.bin |
/D of a plain file | all | $U2,$MSG | dif a.bin b.bin /D $K2 | 02 | a.bin | b.bin=-
EOF
)

run_cases "$CASES"

# ---- the numbers agree: Y1^X2 = Y2^X1 (mod P), and Y = A^X ----------------------------
if peer agree "$S/c.ap" "$S/1.dsk" "$S/1.dpk" "$S/2.dsk" "$S/2.dpk"; then
  PASSED=$((PASSED + 1))
else
  fail "Python: Y = A^X for both pairs and Y1^X2 = Y2^X1 (mod P)"
fi

# ---- the host's help names the operations ----------------------------------------------
help_text=$(cd "$WORK" && "${LAUNCHER[@]}" "$NCCORE" --help 2>/dev/null)
if [[ $? != 0 || $help_text != *ZqDIF* || $help_text != *ZqDIK* ]]; then
  fail "--help names ZqDIK and ZqDIF"
else
  PASSED=$((PASSED + 1))
fi

echo "dif_table ($MODE): $PASSED passed, $FAILED failed"
((FAILED == 0))
