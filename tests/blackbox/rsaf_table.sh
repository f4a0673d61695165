#!/usr/bin/env bash
# Black-box table of the RSA file crypto processor through the nccore host:
# arguments in; exit codes, result texts and file bytes out. Python's pow and
# hashlib's SHAKE256 are the independent peer for the payloads: the
# ciphertext's blocks, the file hash and the signature.
#
#   rsaf_table.sh <path-to-nccore> [wine]
#
# With "wine" the Windows build runs as `wine <nccore.exe>` (the WINE
# variable may name another launcher) and its result texts are expected in
# code page 1251. Each case runs in a fresh folder; one line is printed per
# failing case, and the exit status is 1 when any case failed.

set -u

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/lib.sh"
host_under_test rsaf_table "$@"
NCCORE_SIM=
SKIPPED=0
require_tools rsaf_table od cmp dd truncate python3

check_integrity_register

WORK=$(mktemp -d "${TMPDIR:-/tmp}/nccore-rsaf.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
source "$HERE/file_table.sh"

# ---- the key files, made once and copied into the cases ----------------------------
# k.rsk/k.rpk and k2.rsk/k2.rpk two clear 512-bit pairs (63 bytes in, 64 out
# per block); pk.rsk/pk.rpk a pair whose secret key is behind the password
# of pw.txt; d.dek a DES key.
shared_password
make_shared rsaf_table "rsak /N:512-512 /SECRET:k.rsk /PUBLIC:k.rpk /NOLOGO" \
  "rsak /N:512-512 /SECRET:k2.rsk /PUBLIC:k2.rpk /NOLOGO" \
  "--password-file pw.txt rsak /N:512-512 /SECRET:PWD:pk.rsk /PUBLIC:pk.rpk" \
  "desk d.dek /NOLOGO"

# The peer: textbook RSA over the blocks of a message (the last one
# zero-filled), each raised to the key file's exponent mod N and written
# big-endian in the modulus's bytes; the file hash, from 128 zero bytes
# SHAKE256 of the value and each 4 KiB chunk (one step for an empty file).
# Prints the payload's hex.
peer() {  # what (rsa, hash, sig), source, key file
  python3 - "$@" <<'EOF'
import hashlib, struct, sys

what, source, key = sys.argv[1], sys.argv[2], sys.argv[3] if len(sys.argv) > 3 else ""
data = open(source, "rb").read()

def file_hash(data):
    value = bytes(128)
    at = 0
    while True:
        chunk = data[at:at + 4096]
        value = hashlib.shake_256(value + chunk).digest(128)
        at += len(chunk)
        if at >= len(data):
            return value

def numbers(path):
    raw = open(path, "rb").read()[48:]
    out = []
    for _ in range(2):
        (count,) = struct.unpack_from("<I", raw)
        out.append(int.from_bytes(raw[4:4 + 4 * count], "little"))
        raw = raw[4 + 4 * count:]
    return out

def textbook(message, path):
    n, x = numbers(path)
    enc, dec = (n.bit_length() - 1) // 8, (n.bit_length() + 7) // 8
    out = b""
    for at in range(0, len(message), enc):
        block = message[at:at + enc].ljust(enc, b"\0")
        out += pow(int.from_bytes(block, "big"), x, n).to_bytes(dec, "big")
    return out

if what == "hash":
    print(file_hash(data).hex())
elif what == "sig":
    print(textbook(file_hash(data), key).hex())
else:
    print(textbook(data, key).hex())
EOF
}

# The table's checks:
#   rsa:SRC:KEY         the payload is SRC under the key file KEY's exponent
#   hash:SRC            the payload is the file hash of SRC
#   sig:SRC:KEY         the payload is the hash of SRC under KEY's exponent
table_check() {
  local file=$1 check=$2 hex=$3 want
  local -a f
  IFS=':' read -r -a f <<<"${check#*:}"
  case $check in
    rsa:*) want=$(peer rsa "${f[0]}" "${f[1]}") ;;
    hash:*) want=$(peer hash "${f[0]}") ;;
    sig:*) want=$(peer sig "${f[0]}" "${f[1]}") ;;
    *)
      echo "unknown check $check"
      return
      ;;
  esac
  [[ ${hex:96} == "$want" ]] || echo "$file: payload ${hex:96:64}..., want ${want:0:64}..."
}

# ---- the cases -------------------------------------------------------------------
# name | where | setup | arguments | code | suffix | checks
# Setup abbreviations: PUB and SEC the first pair's public and secret keys;
# PLAIN a 10-byte a.bin, MSG a 1000-byte one; SIGNED MSG with a.sig.
PUB='k.rpk<shared:k.rpk'
SEC='k.rsk<shared:k.rsk'
KEYS="$PUB,$SEC"
PLAIN='a.bin<bytes:10'
MSG='a.bin<bytes:1000'
ENC="$KEYS,$MSG,run:rsaf a.bin a.enc /E /KEY:k.rpk"
SIGNED="$KEYS,$MSG,run:rsaf a.bin a.sig /SIGN /KEY:k.rsk"
CASES=$(
  cat <<EOF
# The commands and their files.
/E of 10 bytes: one block, as the peer | all | $PLAIN,$PUB | rsaf a.bin a.enc /E /KEY:k.rpk | 00 | | a.enc=hdr:2:3:0:0:10+size:112+rsa:a.bin:k.rpk
/E of 1000 bytes, as the peer | all | $MSG,$PUB | rsaf a.bin a.enc /E /KEY:k.rpk | 00 | | a.enc=hdr:2:3:0:0:1000+size:1072+rsa:a.bin:k.rpk
/E of an empty source: the header alone | all | a.bin<bytes:0,$PUB | rsaf a.bin a.enc /E /KEY:k.rpk | 00 | | a.enc=hdr:2:3:0:0:0+size:48
/ENCRYPT is /E | all | $PLAIN,$PUB | rsaf a.bin a.enc /ENCRYPT /KEY:k.rpk | 00 | | a.enc=hdr:2:3:0:0:10+size:112
an empty ciphertext decrypts to an empty file | all | a.bin<bytes:0,$KEYS,run:rsaf a.bin a.enc /E /KEY:k.rpk | rsaf a.enc b.bin /D /KEY:k.rsk | 00 | | b.bin=size:0
/E of 62 bytes and back | all | a.bin<bytes:62,$KEYS,run:rsaf a.bin a.enc /E /KEY:k.rpk | rsaf a.enc b.bin /D /KEY:k.rsk | 00 | | b.bin=same:a.bin
/E of 63 bytes and back | all | a.bin<bytes:63,$KEYS,run:rsaf a.bin a.enc /E /KEY:k.rpk | rsaf a.enc b.bin /D /KEY:k.rsk | 00 | | b.bin=same:a.bin
/E of 64 bytes and back | all | a.bin<bytes:64,$KEYS,run:rsaf a.bin a.enc /E /KEY:k.rpk | rsaf a.enc b.bin /D /KEY:k.rsk | 00 | | b.bin=same:a.bin
/E of 65537 bytes and back | all | a.bin<bytes:65537,$KEYS,run:rsaf a.bin a.enc /E /KEY:k.rpk | rsaf a.enc b.bin /D /KEY:k.rsk | 00 | | b.bin=same:a.bin
/E in place and back in place | all | $MSG,c.bin<copy:a.bin,$KEYS,run:rsaf c.bin c.bin /E /KEY:k.rpk /Y | rsaf c.bin c.bin /D /KEY:k.rsk /Y | 00 | | c.bin=same:a.bin
/HASH needs no key, as the peer | all | a.bin<bytes:5000 | rsaf a.bin a.h /HASH /KEY:nokey.rpk | 00 | | a.h=hdr:4:3:0:64:0+size:176+hash:a.bin
/HASH of an empty source, as the peer | all | a.bin<bytes:0 | rsaf a.bin a.h /HASH | 00 | | a.h=hdr:4:3:0:64:0+size:176+hash:a.bin
/SIGN: three blocks, as the peer | all | $MSG,$SEC | rsaf a.bin a.sig /SIGN /KEY:k.rsk | 00 | | a.sig=hdr:5:3:0:0:192+size:240+sig:a.bin:k.rsk
/SIGN of an empty source, as the peer | all | a.bin<bytes:0,$SEC | rsaf a.bin a.sig /SIGN /KEY:k.rsk | 00 | | a.sig=sig:a.bin:k.rsk
the default names | all | $MSG,Публичный ключ RSA.RPK<shared:k.rpk,Секретный ключ RSA.RSK<shared:k.rsk,run:rsaf a.bin a.enc /E | rsaf a.enc b.bin /D | 00 | | b.bin=same:a.bin
/SIGN and /CHECK with the default names | all | $MSG,Публичный ключ RSA.RPK<shared:k.rpk,Секретный ключ RSA.RSK<shared:k.rsk,run:rsaf a.bin a.sig /SIGN | rsaf a.bin a.sig /CHECK | 00 | |
/CHECK of a signature | all | $SIGNED | rsaf a.bin a.sig /CHECK /KEY:k.rpk | 00 | |
/CHECK never asks about its destination | all | $SIGNED | rsaf a.bin a.sig /CHECK /KEY:k.rpk /NOLOGO | 00 | |
/CHECK of a changed source | all | $SIGNED,a.bin<flip:500 | rsaf a.bin a.sig /CHECK /KEY:k.rpk | 12 | |
/CHECK with another pair's public key | all | $SIGNED,k2.rpk<shared:k2.rpk | rsaf a.bin a.sig /CHECK /KEY:k2.rpk | 12 | |
/CHECK of a changed signature | all | $SIGNED,a.sig<flip:100 | rsaf a.bin a.sig /CHECK /KEY:k.rpk | 12 | |
/CHECK of a signature of zeros | all | $SIGNED,a.sig<poke:48:$(printf '0%.0s' {1..384}) | rsaf a.bin a.sig /CHECK /KEY:k.rpk | 12 | |
/CHECK of a signature not of whole blocks | all | $SIGNED,a.sig<poke:32:bf000000+trunc:239 | rsaf a.bin a.sig /CHECK /KEY:k.rpk | 12 | |
/CHECK of a signature longer than any | all | $SIGNED,a.sig<poke:32:40010000+poke:240:$(printf '0%.0s' {1..256}) | rsaf a.bin a.sig /CHECK /KEY:k.rpk | 12 | |
/CHECK of a signature cut short | all | $SIGNED,a.sig<trunc:200 | rsaf a.bin a.sig /CHECK /KEY:k.rpk | 02 | a.sig |
/CHECK with a missing signature file | all | $KEYS,$MSG | rsaf a.bin a.sig /CHECK /KEY:k.rpk | 02 | a.sig |
/CHECK of a ciphertext as signature | all | $ENC | rsaf a.bin a.enc /CHECK /KEY:k.rpk | 02 | a.enc |
/CHECK of a signature of version 2 | all | $SIGNED,a.sig<poke:18:02 | rsaf a.bin a.sig /CHECK /KEY:k.rpk | 27 | a.sig |
/COMP of equal files needs no key | all | $MSG,b.bin<copy:a.bin | rsaf a.bin b.bin /COMP | 00 | |
/COMP of a file and its longer copy | all | $MSG,b.bin<copy:a.bin+poke:1000:00 | rsaf a.bin b.bin /COMP | 07 | |
# Options.
no command | all | $PLAIN,$PUB | rsaf a.bin a.enc /KEY:k.rpk | 01 | |
a repeated command | all | $PLAIN,$PUB | rsaf a.bin a.enc /E /E /KEY:k.rpk | 01 | |
two commands | all | $PLAIN,$PUB | rsaf a.bin a.enc /E /HASH /KEY:k.rpk | 01 | |
one name | all | $PLAIN,$PUB | rsaf a.bin /E /KEY:k.rpk | 01 | |
a third name | all | $PLAIN,$PUB | rsaf a.bin a.enc c.enc /E /KEY:k.rpk | 01 | |
protection keywords are part of a key's name | native | $PLAIN,$PUB | rsaf a.bin a.enc /E /KEY:PWD:k.rpk | 02 | ' PWD:k.rpk' |
an existing destination with /NOLOGO | all | $PLAIN,a.h<text:old | rsaf a.bin a.h /HASH /NOLOGO | 11 | a.h |
an existing destination replaced with /Y | all | $PLAIN,a.h<text:old | rsaf a.bin a.h /HASH /NOLOGO /Y | 00 | | a.h=hash:a.bin
# Files that cannot be used, reported before any output exists.
missing source | all | $PUB | rsaf nope.bin a.enc /E /KEY:k.rpk | 02 | nope.bin |
destination in a missing folder | all | $PLAIN,$PUB | rsaf a.bin nodir/a.enc /E /KEY:k.rpk | 03 | nodir/a.enc |
missing default public key | all | $PLAIN | rsaf a.bin a.enc /E | 02 | ' Публичный ключ RSA.RPK' |
missing default secret key | all | $PLAIN | rsaf a.bin a.sig /SIGN | 02 | ' Секретный ключ RSA.RSK' |
a key with one bit of N changed | all | $PLAIN,$PUB,k.rpk<flip:60 | rsaf a.bin a.enc /E /KEY:k.rpk | 31 | ' k.rpk' | a.enc=-
a secret key with one bit changed | all | $PLAIN,$SEC,k.rsk<flip:130 | rsaf a.bin a.sig /SIGN /KEY:k.rsk | 31 | ' k.rsk' | a.sig=-
N beyond its room | all | $PLAIN,$PUB,k.rpk<poke:48:41 | rsaf a.bin a.enc /E /KEY:k.rpk | 32 | | a.enc=-
a key of version 2 | all | $PLAIN,$PUB,k.rpk<poke:18:02 | rsaf a.bin a.enc /E /KEY:k.rpk | 30 | ' k.rpk' |
a secret key to encrypt | all | $PLAIN,$SEC | rsaf a.bin a.enc /E /KEY:k.rsk | 27 | ' k.rsk' |
a public key to decrypt | all | $ENC | rsaf a.enc b.bin /D /KEY:k.rpk | 27 | ' k.rpk' |
a public key to sign | all | $MSG,$PUB | rsaf a.bin a.sig /SIGN /KEY:k.rpk | 27 | ' k.rpk' |
a DES key to check | all | $SIGNED,d.dek<shared:d.dek | rsaf a.bin a.sig /CHECK /KEY:d.dek | 27 | ' d.dek' |
password key with /NOLOGO | all | $ENC,pk.rsk<shared:pk.rsk | rsaf a.enc b.bin /D /KEY:pk.rsk /NOLOGO | 25 | | b.bin=-
password key, /E and /D | all | $MSG,pk.rpk<shared:pk.rpk,pk.rsk<shared:pk.rsk,pw.txt<shared:pw.txt,run:rsaf a.bin a.enc /E /KEY:pk.rpk | --password-file pw.txt rsaf a.enc b.bin /D /KEY:pk.rsk | 00 | | b.bin=same:a.bin
password key, /SIGN and /CHECK | all | $MSG,pk.rpk<shared:pk.rpk,pk.rsk<shared:pk.rsk,pw.txt<shared:pw.txt,run:--password-file pw.txt rsaf a.bin a.sig /SIGN /KEY:pk.rsk | rsaf a.bin a.sig /CHECK /KEY:pk.rpk | 00 | |
password key, wrong password | all | $ENC,pk.rsk<shared:pk.rsk,bad.txt<text:correct horsf+private | --password-file bad.txt rsaf a.enc b.bin /D /KEY:pk.rsk | 31 | ' pk.rsk' | b.bin=-
# Ciphertexts the decryptor refuses, before any output exists.
/D of a hash file | all | $PLAIN,$SEC,run:rsaf a.bin a.h /HASH | rsaf a.h b.bin /D /KEY:k.rsk | 02 | a.h | b.bin=-
/D of a plain file | all | $PLAIN,$SEC | rsaf a.bin b.bin /D /KEY:k.rsk | 02 | a.bin | b.bin=-
/D of a DES ciphertext | all | $PLAIN,$SEC,d.dek<shared:d.dek,run:desf a.bin a.enc /CBC /KEY:d.dek | rsaf a.enc b.bin /D /KEY:k.rsk | 02 | a.enc | b.bin=-
/D of a ciphertext of version 2 | all | $ENC,a.enc<poke:18:02 | rsaf a.enc b.bin /D /KEY:k.rsk | 27 | a.enc | b.bin=-
/D of a ciphertext cut inside a block | all | $ENC,a.enc<trunc:1060 | rsaf a.enc b.bin /D /KEY:k.rsk | 27 | a.enc | b.bin=-
/D of a ciphertext with a whole block cut off | all | $ENC,a.enc<trunc:1008 | rsaf a.enc b.bin /D /KEY:k.rsk | 27 | a.enc | b.bin=-
/D of a ciphertext with a longer stored length | all | $ENC,a.enc<poke:32:f1030000 | rsaf a.enc b.bin /D /KEY:k.rsk | 27 | a.enc | b.bin=-
/D of a block not below N | all | $ENC,a.enc<poke:112:$(printf 'f%.0s' {1..128}) | rsaf a.enc b.bin /D /KEY:k.rsk | 27 | a.enc | b.bin=-
/D with another pair's secret key: blocks RSAEncrypt did not make | all | $ENC,k2.rsk<shared:k2.rsk | rsaf a.enc b.bin /D /KEY:k2.rsk | 27 | a.enc | b.bin=-
/D keeps an existing destination when it refuses | all | $ENC,a.enc<trunc:1060,b.bin<text:old | rsaf a.enc b.bin /D /KEY:k.rsk /Y | 27 | a.enc |
EOF
)

run_cases "$CASES"

# ---- the host's help names the operation --------------------------------------------
help_text=$(cd "$WORK" && "${LAUNCHER[@]}" "$NCCORE" --help 2>/dev/null)
if [[ $? != 0 || $help_text != *ZqRSAF* || $help_text != */CHECK* ]]; then
  fail "--help names ZqRSAF and its commands"
else
  PASSED=$((PASSED + 1))
fi

echo "rsaf_table ($MODE): $PASSED passed, $FAILED failed"
((FAILED == 0))
