#!/usr/bin/env bash
# Black-box table of the GOST file crypto processor through the nccore host:
# arguments in; exit codes, result texts and file bytes out. rhash is the
# independent peer for the hash; the byte-for-byte cipher peers are in the
# unit tests (gosf_interop_test.cpp).
#
#   gosf_table.sh <path-to-nccore> [wine]
#
# With "wine" the Windows build runs as `wine <nccore.exe>` (the WINE
# variable may name another launcher) and its result texts are expected in
# code page 1251. Each case runs in a fresh folder; one line is printed per
# failing case, and the exit status is 1 when any case failed.

set -u

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
TOP=$(cd "$HERE/../.." && pwd)
source "$HERE/lib.sh"
host_under_test gosf_table "$@"
NCCORE_SIM=
SKIPPED=0
require_tools gosf_table od cmp dd truncate rhash

check_integrity_register

WORK=$(mktemp -d "${TMPDIR:-/tmp}/nccore-gosf.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
source "$HERE/file_table.sh"

# ---- the key and number files, made once and copied into the cases ----------------
# t.gtb: the fixture's block; tp.gtb and cp.gtb: the GOST R 34.11-94 test set
# and the CryptoPro set (rhash's two hashes); k.gek a clear key, pk.gek one
# behind the password of pw.txt; n.pqa with two pairs x/y and x2/y2, and a
# secret key px.gsk behind the password.
shared_password
cp "$HERE/gosb_table.txt" "$S/t.txt" && cp "$TOP/res/gost/test_paramset.txt" "$S/tp.txt" &&
  cp "$TOP/res/gost/cryptopro_hash.txt" "$S/cp.txt" || exit 2
make_shared gosf_table "gosb t.txt t.gtb /NOLOGO" "gosb tp.txt tp.gtb /NOLOGO" \
  "gosb cp.txt cp.gtb /NOLOGO" "gosk k.gek /NOLOGO" "--password-file pw.txt gosk PWD:pk.gek" \
  "gosc n.pqa /P:512 /NOLOGO" "gosp /PQA:n.pqa /SECRET:x.gsk /PUBLIC:y.gpk /NOLOGO" \
  "gosp /PQA:n.pqa /SECRET:x2.gsk /PUBLIC:y2.gpk /NOLOGO" \
  "--password-file pw.txt gosp /PQA:n.pqa /SECRET:PWD:px.gsk /PUBLIC:py.gpk"

# Secret and public keys no signature may use: x = 0 and y = 1.
X0=$(key_file_hex 1 2 00000000)
Y1=$(key_file_hex 1 3 01000000)

# The table's checks:
#   payload:HEX         the bytes after the 48-byte header are HEX
#   rhash:ALG:SRC       the payload is rhash's hash ALG (gost94,
#                       gost94-cryptopro) of SRC
table_check() {
  local file=$1 check=$2 hex=$3
  local -a f
  IFS=':' read -r -a f <<<"${check#*:}"
  case $check in
    payload:*) [[ ${hex:96} == "${f[0]}" ]] || echo "$file: payload ${hex:96:64}, want ${f[0]}" ;;
    rhash:*)
      local want
      want=$(rhash "--${f[0]}" --simple "${f[1]}" | cut -d' ' -f1)
      [[ ${hex:96} == "$want" ]] || echo "$file: hash ${hex:96}, rhash --${f[0]} $want"
      ;;
    *) echo "unknown check $check" ;;
  esac
}

# ---- the cases -------------------------------------------------------------------
# name | where | setup | arguments | code | suffix | checks
# Setup abbreviations: GTB and KEY the table t.gtb and the key k.gek; PLAIN a
# 10-byte a.bin; SIGN the numbers and pair x/y; GK the options naming them.
GTB='t.gtb<shared:t.gtb'
KEY="$GTB,k.gek<shared:k.gek"
PLAIN='a.bin<bytes:10'
SIGN="$GTB,n.pqa<shared:n.pqa,x.gsk<shared:x.gsk,y.gpk<shared:y.gpk"
GK='/BLK:t.gtb /KEY:k.gek'
SK='/BLK:t.gtb /PQA:n.pqa /SECRET:x.gsk /PUBLIC:y.gpk'
MSG='a.bin<bytes:1000'
SIGNED="$SIGN,$MSG,run:gosf a.bin a.sig /SIGN $SK /NOLOGO"
CASES=$(
  cat <<EOF
# The commands and their files.
/SR of 10 bytes: 64 bytes, length 10 | all | $PLAIN,$KEY | gosf a.bin a.enc /SR $GK | 00 | | a.enc=hdr:2:1:1:8:10+size:64
/SR of 10 bytes and back | all | $PLAIN,$KEY,run:gosf a.bin a.enc /SR $GK | gosf a.enc b.bin /D $GK | 00 | | b.bin=same:a.bin
/GM of 10 bytes: 58 bytes | all | $PLAIN,$KEY | gosf a.bin a.enc /GM $GK | 00 | | a.enc=hdr:2:1:2:8:10+size:58
/GM of 10 bytes and back | all | $PLAIN,$KEY,run:gosf a.bin a.enc /GM $GK | gosf a.enc b.bin /D $GK | 00 | | b.bin=same:a.bin
/FG of 10 bytes: 58 bytes | all | $PLAIN,$KEY | gosf a.bin a.enc /FG $GK | 00 | | a.enc=hdr:2:1:3:8:10+size:58
/FG of 10 bytes and back | all | $PLAIN,$KEY,run:gosf a.bin a.enc /FG $GK | gosf a.enc b.bin /D $GK | 00 | | b.bin=same:a.bin
the modes differ | all | $PLAIN,$KEY,run:gosf a.bin g.enc /GM $GK | gosf a.bin f.enc /FG $GK | 00 | | f.enc=differ:g.enc
/SR of an empty source: the header alone | all | a.bin<bytes:0,$KEY | gosf a.bin a.enc /SR $GK | 00 | | a.enc=hdr:2:1:1:8:0+size:48
an empty ciphertext deciphers to an empty file | all | a.bin<bytes:0,$KEY,run:gosf a.bin a.enc /SR $GK | gosf a.enc b.bin /D $GK | 00 | | b.bin=size:0
/SR of 65535 bytes and back | all | a.bin<bytes:65535,$KEY,run:gosf a.bin a.enc /SR $GK | gosf a.enc b.bin /D $GK | 00 | | b.bin=same:a.bin
/SR of 65536 bytes: no padding | all | a.bin<bytes:65536,$KEY | gosf a.bin a.enc /SR $GK | 00 | | a.enc=hdr:2:1:1:8:65536+size:65584
/SR of 65537 bytes and back | all | a.bin<bytes:65537,$KEY,run:gosf a.bin a.enc /SR $GK | gosf a.enc b.bin /D $GK | 00 | | b.bin=same:a.bin
/GM of 65537 bytes and back | all | a.bin<bytes:65537,$KEY,run:gosf a.bin a.enc /GM $GK | gosf a.enc b.bin /D $GK | 00 | | b.bin=same:a.bin
/FG of 131073 bytes and back | all | a.bin<bytes:131073,$KEY,run:gosf a.bin a.enc /FG $GK | gosf a.enc b.bin /D $GK | 00 | | b.bin=same:a.bin
/GM in place and back in place | all | $MSG,c.bin<copy:a.bin,$KEY,run:gosf c.bin c.bin /GM $GK /Y | gosf c.bin c.bin /D $GK /Y | 00 | | c.bin=same:a.bin
/GM in place writes the ciphertext | all | $MSG,c.bin<copy:a.bin,$KEY | gosf c.bin c.bin /GM $GK /Y | 00 | | c.bin=hdr:2:1:2:8:1000+size:1048
/IMIT of an empty source: eight zero bytes | all | a.bin<bytes:0,$KEY | gosf a.bin a.mac /IMIT $GK | 00 | | a.mac=hdr:3:1:0:8:0+size:56+payload:0000000000000000
/IMIT of 10 bytes | all | $PLAIN,$KEY | gosf a.bin a.mac /IMIT $GK | 00 | | a.mac=hdr:3:1:0:8:0+size:56
/IMIT depends on the key | all | $PLAIN,$KEY,run:gosk k2.gek /NOLOGO,run:gosf a.bin a.mac /IMIT $GK | gosf a.bin b.mac /IMIT /BLK:t.gtb /KEY:k2.gek | 00 | | b.mac=differ:a.mac
/HASH needs no key: test set, as rhash | all | a.bin<bytes:70001,tp.gtb<shared:tp.gtb | gosf a.bin a.h /HASH /BLK:tp.gtb /KEY:nokey.gek | 00 | | a.h=hdr:4:1:0:32:0+size:80+rhash:gost94:a.bin
/HASH with the CryptoPro set, as rhash | all | a.bin<bytes:1000,cp.gtb<shared:cp.gtb | gosf a.bin a.h /HASH /BLK:cp.gtb | 00 | | a.h=rhash:gost94-cryptopro:a.bin
/HASH of an empty source, as rhash | all | a.bin<bytes:0,tp.gtb<shared:tp.gtb | gosf a.bin a.h /HASH /BLK:tp.gtb | 00 | | a.h=rhash:gost94:a.bin
the default names | all | $PLAIN,Таблица ГОСТ.GTB<shared:t.gtb,Ключ ГОСТ.GEK<shared:k.gek | gosf a.bin a.enc /GM | 00 | | a.enc=hdr:2:1:2:8:10
/SIGN: 112 bytes | all | $SIGN,$MSG | gosf a.bin a.sig /SIGN $SK | 00 | | a.sig=hdr:5:1:0:0:0+size:112
/SIGN with the default names | all | $MSG,Таблица ГОСТ.GTB<shared:t.gtb,Числа PQA.PQA<shared:n.pqa,Секретный ключ ЭЦП ГОСТ.GSK<shared:x.gsk | gosf a.bin a.sig /SIGN | 00 | | a.sig=hdr:5:1:0:0:0+size:112
/CHECK of a signature | all | $SIGNED | gosf a.bin a.sig /CHECK $SK | 00 | |
/CHECK with the default names | all | $SIGNED,Таблица ГОСТ.GTB<shared:t.gtb,Числа PQA.PQA<shared:n.pqa,Публичный ключ ЭЦП ГОСТ.GPK<shared:y.gpk | gosf a.bin a.sig /CHECK | 00 | |
/CHECK of a changed source | all | $SIGNED,a.bin<flip:500 | gosf a.bin a.sig /CHECK $SK | 12 | |
/CHECK with another pair's public key | all | $SIGNED,y2.gpk<shared:y2.gpk | gosf a.bin a.sig /CHECK $SK /PUBLIC:y2.gpk | 12 | |
/CHECK of a changed signature | all | $SIGNED,a.sig<flip:60 | gosf a.bin a.sig /CHECK $SK | 12 | |
/CHECK never asks about its destination | all | $SIGNED | gosf a.bin a.sig /CHECK $SK /NOLOGO | 00 | |
/CHECK with a missing signature file | all | $SIGN,$MSG | gosf a.bin a.sig /CHECK $SK | 02 | a.sig |
/CHECK of a ciphertext as signature | all | $SIGN,$MSG,k.gek<shared:k.gek,run:gosf a.bin a.enc /GM $GK | gosf a.bin a.enc /CHECK $SK | 02 | a.enc |
/CHECK of a signature of version 2 | all | $SIGNED,a.sig<poke:18:02 | gosf a.bin a.sig /CHECK $SK | 27 | a.sig |
/CHECK of a signature cut short | all | $SIGNED,a.sig<trunc:111 | gosf a.bin a.sig /CHECK $SK | 02 | a.sig |
/CHECK with a password-protected secret pair | all | $GTB,$MSG,n.pqa<shared:n.pqa,px.gsk<shared:px.gsk,py.gpk<shared:py.gpk,pw.txt<shared:pw.txt,run:--password-file pw.txt gosf a.bin a.sig /SIGN /BLK:t.gtb /PQA:n.pqa /SECRET:px.gsk | gosf a.bin a.sig /CHECK /BLK:t.gtb /PQA:n.pqa /PUBLIC:py.gpk | 00 | |
/COMP of equal files needs no files | all | $MSG,b.bin<copy:a.bin | gosf a.bin b.bin /COMP | 00 | |
/COMP of a file and its longer copy | all | $MSG,b.bin<copy:a.bin+poke:1000:00 | gosf a.bin b.bin /COMP | 07 | |
/COMP with a missing destination | all | $MSG | gosf a.bin b.bin /COMP | 02 | b.bin |
# Options.
no command | all | $PLAIN,$KEY | gosf a.bin a.enc $GK | 01 | |
a repeated command | all | $PLAIN,$KEY | gosf a.bin a.enc /SR /SR $GK | 01 | |
two commands | all | $PLAIN,$KEY | gosf a.bin a.enc /SR /HASH $GK | 01 | |
one name | all | $PLAIN,$KEY | gosf a.bin /SR $GK | 01 | |
a third name | all | $PLAIN,$KEY | gosf a.bin a.enc c.enc /SR $GK | 01 | |
protection keywords are part of a key's name | native | $PLAIN,$KEY | gosf a.bin a.enc /SR /BLK:t.gtb /KEY:PWD:k.gek | 02 | ' PWD:k.gek' |
an existing destination with /NOLOGO | all | $PLAIN,tp.gtb<shared:tp.gtb,a.h<text:old | gosf a.bin a.h /HASH /BLK:tp.gtb /NOLOGO | 11 | a.h |
an existing destination replaced with /Y | all | $PLAIN,tp.gtb<shared:tp.gtb,a.h<text:old | gosf a.bin a.h /HASH /BLK:tp.gtb /NOLOGO /Y | 00 | | a.h=rhash:gost94:a.bin
# Files that cannot be used, reported before any output exists.
missing source | all | $KEY | gosf nope.bin a.enc /SR $GK | 02 | nope.bin |
missing source keeps the destination | all | $KEY,a.enc<text:old | gosf nope.bin a.enc /SR $GK /Y | 02 | nope.bin |
destination in a missing folder | all | $PLAIN,$KEY | gosf a.bin nodir/a.enc /SR $GK | 03 | nodir/a.enc |
missing default table | all | $PLAIN,k.gek<shared:k.gek | gosf a.bin a.enc /SR /KEY:k.gek | 02 | ' Таблица ГОСТ.GTB' |
missing key | all | $PLAIN,$GTB | gosf a.bin a.enc /GM /BLK:t.gtb /KEY:nokey.gek | 02 | ' nokey.gek' |
a table with one bit changed | all | $PLAIN,$KEY,t.gtb<flip:60 | gosf a.bin a.enc /SR $GK | 31 | ' t.gtb' | a.enc=-
a key with one bit changed | all | $PLAIN,$KEY,k.gek<flip:70 | gosf a.bin a.enc /SR $GK | 31 | ' k.gek' | a.enc=-
a key block beyond its room | all | $PLAIN,$KEY,k.gek<poke:48:09 | gosf a.bin a.enc /SR $GK | 32 | | a.enc=-
a table as the key | all | $PLAIN,$KEY | gosf a.bin a.enc /SR /BLK:t.gtb /KEY:t.gtb | 27 | ' t.gtb' |
a key of version 2 | all | $PLAIN,$KEY,k.gek<poke:18:02 | gosf a.bin a.enc /SR $GK | 30 | ' k.gek' |
numbers with one bit changed | all | $SIGN,$MSG,n.pqa<flip:60 | gosf a.bin a.sig /SIGN $SK | 31 | ' n.pqa' | a.sig=-
a secret key x = 0 | all | $SIGN,$MSG,x.gsk<hex:$X0 | gosf a.bin a.sig /SIGN $SK | 27 | ' x.gsk' | a.sig=-
a public key y = 1 | all | $SIGNED,y.gpk<hex:$Y1 | gosf a.bin a.sig /CHECK $SK | 27 | ' y.gpk' |
a public key as the secret key | all | $SIGN,$MSG | gosf a.bin a.sig /SIGN $SK /SECRET:y.gpk | 27 | ' y.gpk' |
password key with /NOLOGO | all | $PLAIN,$GTB,pk.gek<shared:pk.gek | gosf a.bin a.enc /SR /BLK:t.gtb /KEY:pk.gek /NOLOGO | 25 | | a.enc=-
password key, /SR and /D | all | $MSG,$GTB,pk.gek<shared:pk.gek,pw.txt<shared:pw.txt,run:--password-file pw.txt gosf a.bin a.enc /SR /BLK:t.gtb /KEY:pk.gek | --password-file pw.txt gosf a.enc b.bin /D /BLK:t.gtb /KEY:pk.gek | 00 | | b.bin=same:a.bin
password key, wrong password | all | $PLAIN,$GTB,pk.gek<shared:pk.gek,bad.txt<text:correct horsf+private | --password-file bad.txt gosf a.bin a.enc /SR /BLK:t.gtb /KEY:pk.gek | 31 | ' pk.gek' | a.enc=-
# Ciphertexts the decipherer refuses, before any output exists.
/D of a hash file | all | $PLAIN,$KEY,run:gosf a.bin a.h /HASH /BLK:t.gtb | gosf a.h b.bin /D $GK | 02 | a.h | b.bin=-
/D of a plain file | all | $PLAIN,$KEY | gosf a.bin b.bin /D $GK | 02 | a.bin | b.bin=-
/D of a DES ciphertext | all | $PLAIN,$KEY,run:desk d.dek /NOLOGO,run:desf a.bin a.enc /CBC /KEY:d.dek | gosf a.enc b.bin /D $GK | 02 | a.enc | b.bin=-
/D of a ciphertext of version 2 | all | $PLAIN,$KEY,run:gosf a.bin a.enc /GM $GK,a.enc<poke:18:02 | gosf a.enc b.bin /D $GK | 27 | a.enc | b.bin=-
/D of mode 0 | all | $PLAIN,$KEY,run:gosf a.bin a.enc /GM $GK,a.enc<poke:23:00 | gosf a.enc b.bin /D $GK | 27 | a.enc | b.bin=-
/D of mode 4 | all | $PLAIN,$KEY,run:gosf a.bin a.enc /GM $GK,a.enc<poke:23:04 | gosf a.enc b.bin /D $GK | 27 | a.enc | b.bin=-
/D of simple replacement cut inside a block | all | $PLAIN,$KEY,run:gosf a.bin a.enc /SR $GK,a.enc<trunc:60 | gosf a.enc b.bin /D $GK | 27 | a.enc | b.bin=-
/D of simple replacement with a whole extra block | all | $PLAIN,$KEY,run:gosf a.bin a.enc /SR $GK,a.enc<poke:64:0000000000000000 | gosf a.enc b.bin /D $GK | 27 | a.enc | b.bin=-
/D of gamma cut short | all | $PLAIN,$KEY,run:gosf a.bin a.enc /GM $GK,a.enc<trunc:57 | gosf a.enc b.bin /D $GK | 27 | a.enc | b.bin=-
/D of gamma with a longer stored length | all | $PLAIN,$KEY,run:gosf a.bin a.enc /FG $GK,a.enc<poke:32:0b | gosf a.enc b.bin /D $GK | 27 | a.enc | b.bin=-
/D keeps an existing destination when it refuses | all | $PLAIN,$KEY,run:gosf a.bin a.enc /GM $GK,a.enc<poke:23:00,b.bin<text:old | gosf a.enc b.bin /D $GK /Y | 27 | a.enc |
EOF
)

run_cases "$CASES"

# ---- the host's help names the operation --------------------------------------------
help_text=$(cd "$WORK" && "${LAUNCHER[@]}" "$NCCORE" --help 2>/dev/null)
if [[ $? != 0 || $help_text != *ZqGOSF* || $help_text != */SIGN* ]]; then
  fail "--help names ZqGOSF and its commands"
else
  PASSED=$((PASSED + 1))
fi

echo "gosf_table ($MODE): $PASSED passed, $FAILED failed"
((FAILED == 0))
