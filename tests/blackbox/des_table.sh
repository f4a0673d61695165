#!/usr/bin/env bash
# Black-box table of the DES key generator and the DES file crypto processor
# through the nccore host: arguments in; exit codes, result texts and file
# bytes out. OpenSSL is the independent peer for the cipher modes and the
# keyed hash.
#
#   des_table.sh <path-to-nccore> [wine]
#
# With "wine" the Windows build runs as `wine <nccore.exe>` (the WINE
# variable may name another launcher); its result texts are expected in code
# page 1251, and the Touch Memory settings go to the Wine prefix's registry
# (the key is removed afterwards; run it alone in that prefix). Natively the
# texts are UTF-8 and every case has a settings store of its own.
# Each case runs in a fresh folder; one line is printed per failing case,
# and the exit status is 1 when any case failed.

set -u

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/lib.sh"
host_under_test des_table "$@"
# The demonstration host for the rows with simulated carriers; without it
# those rows are skipped (and counted).
NCCORE_SIM=${NCCORE_SIM:-}
[[ -n $NCCORE_SIM ]] && NCCORE_SIM=$(cd "$(dirname "$NCCORE_SIM")" && pwd)/$(basename "$NCCORE_SIM")
SKIPPED=0
require_tools des_table openssl od cmp dd truncate

check_integrity_register

WORK=$(mktemp -d "${TMPDIR:-/tmp}/nccore-des.XXXXXX")
export LC_ALL=C.UTF-8

cleanup() {
  tm_adapter_registry delete
  rm -rf "$WORK"
}
trap cleanup EXIT
tm_adapter_registry add

IV=4b4c424e56527a7a  # "KLBNVRzz", the vector of every DES file job
OPENSSL=(openssl enc -provider legacy -provider default)

source "$HERE/file_table.sh"

key_hex() { od -An -tx1 -v -j52 -N8 "$1" | tr -d ' \n'; }

# The table's recipe step:
#   openssl:CIPHER:KEY:SRC  OpenSSL's encryption of SRC appended (key bytes
#                       from the key file KEY, the jobs' vector)
table_recipe_step() {
  local file=$1 step=$2
  local -a parts
  IFS=':' read -r -a parts <<<"${step#*:}"
  case $step in
    openssl:*)
      local -a iv=(-iv "$IV")
      [[ ${parts[0]} == des-ecb ]] && iv=()
      "${OPENSSL[@]}" -e "-${parts[0]}" -nopad -K "$(key_hex "${parts[1]}")" "${iv[@]}" \
        -in "${parts[2]}" >>"$file"
      ;;
    *)
      echo "unknown recipe step $step" >&2
      return 1
      ;;
  esac
}

# The table's checks:
#   key:P               a DES key file with protection code P: 60 bytes,
#                       header, one block of two words; unprotected keys
#                       carry the integrity value of their 8 bytes, protected
#                       ones one that the stored (enciphered) bytes do not give
#   openssl:CIPHER:KEY:SRC  OpenSSL deciphers the payload to SRC, followed
#                       only by zero bytes up to the payload's length
#   mac:KEY:SRC         the 8-byte payload is the last block of OpenSSL's
#                       DES-CBC over SRC, a byte 0x80 and zero bytes up to a
#                       multiple of 8 (the keyed hash)
table_check() {
  local file=$1 check=$2 hex=$3
  local -a f
  IFS=':' read -r -a f <<<"${check#*:}"
  case $check in
    key:*)
      local want
      want=$(header_hex 1 2 0 1 0 0 "${f[0]}" "")
      if [[ ${#hex} != 120 || ${hex:0:80} != "$want" || ${hex:96:8} != 02000000 ]]; then
        echo "$file is no key file with protection ${f[0]}: ${hex:0:104}"
      elif [[ ${f[0]} == 0 && ${hex:80:8} != "$(le32 "$(integrity_of_hex "${hex:104:16}")")" ]]; then
        echo "$file: integrity value ${hex:80:8} does not fit its key ${hex:104:16}"
      elif [[ ${f[0]} != 0 && ${hex:80:8} == "$(le32 "$(integrity_of_hex "${hex:104:16}")")" ]]; then
        echo "$file: the integrity value fits the enciphered key"
      fi
      ;;
    openssl:*)
      local -a iv=(-iv "$IV")
      [[ ${f[0]} == des-ecb ]] && iv=()
      local plain padded
      plain=$(tail -c +49 "$file" |
        "${OPENSSL[@]}" -d "-${f[0]}" -nopad -K "$(key_hex "${f[1]}")" "${iv[@]}" | hex_of_file -)
      padded=$(hex_of_file "${f[2]}")
      while ((${#padded} < ${#plain})); do padded+=00; done
      [[ $plain == "$padded" ]] ||
        echo "$file: OpenSSL ${f[0]} deciphers it to ${plain:0:64}..., want ${padded:0:64}..."
      ;;
    mac:*)
      local mac
      mac=$({ cat "${f[1]}" && printf '\x80' &&
        head -c $((7 - $(stat -c %s "${f[1]}") % 8)) /dev/zero; } |
        "${OPENSSL[@]}" -e -des-cbc -nopad -K "$(key_hex "${f[0]}")" -iv "$IV" | tail -c 8 |
        hex_of_file -)
      [[ ${hex:96} == "$mac" ]] || echo "$file: hash ${hex:96}, OpenSSL's CBC-MAC $mac"
      ;;
    *) echo "unknown check $check" ;;
  esac
}

# ---- the cases -------------------------------------------------------------------
# name | where | setup | arguments | code | suffix | checks
# "where" is all, native or wine.
# Setup abbreviations: KEY is a clear key k.dek, PLAIN a 1000-byte a.bin.
KEY='run:desk k.dek /NOLOGO'
PLAIN='a.bin<bytes:1000'
PWKEY='pw.txt<text:correct horse+private,run:--password-file pw.txt desk PWD:k.dek'
TMKEY='dev.txt<carriers:01a1b2c3d4e5f6,run:--carriers dev.txt desk TM:k.dek /NOLOGO'
# A key behind every hardware carrier (tests/blackbox/all_carriers.txt), and
# one behind a password and a dongle.
ALLKEY='dev.txt<fixture:all_carriers.txt,run:--carriers dev.txt desk TM%QUADRA%ACTIVATOR%TESSEL:k.dek /NOLOGO'
MIXKEY='dev.txt<fixture:all_carriers.txt,pw.txt<text:Пароль ключа+private,run:--carriers dev.txt --password-file pw.txt desk PWD%QUADRA:k.dek'
CASES=$(
  cat <<EOF
desk: default name, clear key, header and integrity | all | | desk | 00 | | Ключ DES.DEK=key:0
desk: two keys differ | all | $KEY | desk k2.dek | 00 | | k2.dek=key:0+differ:k.dek
desk: /nologo /y in lower case replace a file | all | k.dek<text:old | desk k.dek /nologo /y | 00 | | k.dek=key:0
desk: /NOLOGO keeps an existing file | all | k.dek<text:old | desk k.dek /NOLOGO | 11 | k.dek |
desk: two names | all | | desk a.dek b.dek | 01 | |
desk: password key with /NOLOGO asks nothing | all | | desk PWD:k.dek /NOLOGO | 25 | | <stderr>=size:0
desk: password from --password-file | all | pw.txt<text:correct horse+private | --password-file pw.txt desk PWD:k.dek | 00 | | k.dek=key:1
desk: password from --password-fd 0 | all | pw.txt<text:correct horse+private | --password-fd 0 desk PWD:k.dek '<pw.txt' | 00 | | k.dek=key:1
desk: --password-file=FILE form | all | pw.txt<text:correct horse+private | --password-file=pw.txt desk PWD:k.dek | 00 | | k.dek=key:1
desk: Touch Memory key from --carriers, silently | all | dev.txt<carriers:01a1b2c3d4e5f6 | --carriers dev.txt desk TM:k.dek /NOLOGO | 00 | | k.dek=key:2,<stderr>=size:0
desk: Touch Memory key without a device | all | | desk TM:k.dek /NOLOGO | 25 | |
host: password file missing | all | | --password-file nope.txt desk PWD:k.dek | host | |
host: password file is a folder | all | sub/x<text:x | --password-file sub desk PWD:k.dek | host | |
host: --password-file without a name | all | | --password-file | host | |
host: --password-file with no operation | all | pw.txt<text:pw+private | --password-file pw.txt | host | |
host: --password-fd not open | all | | --password-fd 9 desk PWD:k.dek | host | |
host: --password-fd not a number | all | | --password-fd x desk PWD:k.dek | host | |
host: both password sources | all | pw.txt<text:pw+private | --password-file pw.txt --password-fd 0 desk PWD:k.dek | host | |
host: unknown --password-encoding | all | pw.txt<text:pw+private | --password-encoding latin1 --password-file pw.txt desk PWD:k.dek | host | |
host: --password-encoding without a password source | all | | --password-encoding=cp1251 desk PWD:k.dek | host | |
host: --carriers file missing | all | | --carriers nope.txt desk TM:k.dek /NOLOGO | host | |
host: a flag given twice | all | dev.txt<text: | --carriers dev.txt --carriers dev.txt desk k.dek | host | |
host: unknown flag | all | | --colour desk k.dek | host | |
desf: /CBC with the default key | all | $PLAIN,run:desk /NOLOGO | desf a.bin a.enc /CBC | 00 | | a.enc=hdr:2:2:2:8:1000+size:1048
desf: /KEY: names the key | all | $PLAIN,$KEY | desf a.bin a.enc /CBC /KEY:k.dek | 00 | | a.enc=hdr:2:2:2:8:1000+size:1048
desf: /CBC then /D | all | $PLAIN,$KEY,run:desf a.bin a.enc /CBC /KEY:k.dek | desf a.enc b.bin /D /KEY:k.dek | 00 | | b.bin=same:a.bin
desf: /ECB pads 13 bytes to 16 | all | a.bin<bytes:13,$KEY | desf a.bin a.enc /ECB /KEY:k.dek | 00 | | a.enc=hdr:2:2:1:8:13+size:64
desf: /ECB back to 13 bytes | all | a.bin<bytes:13,$KEY,run:desf a.bin a.enc /ECB /KEY:k.dek | desf a.enc b.bin /D /KEY:k.dek | 00 | | b.bin=same:a.bin
desf: /CFB:3 writes unit 3 | all | $PLAIN,$KEY | desf a.bin a.enc /CFB:3 /KEY:k.dek | 00 | | a.enc=hdr:2:2:3:3:1000+size:1048
desf: /CFB:3 over 65535-byte chunks and back | all | a.bin<bytes:140000,$KEY,run:desf a.bin a.enc /CFB:3 /KEY:k.dek | desf a.enc b.bin /D /KEY:k.dek | 00 | | b.bin=same:a.bin
desf: /OFB is mode 4, unit 8 | all | $PLAIN,$KEY | desf a.bin a.enc /OFB /KEY:k.dek | 00 | | a.enc=hdr:2:2:4:8:1000+size:1048
desf: /OFB:5 writes unit 5 | all | $PLAIN,$KEY | desf a.bin a.enc /OFB:5 /KEY:k.dek | 00 | | a.enc=hdr:2:2:4:5:1000+size:1048
desf: /OFB:5 over 65535-byte chunks and back | all | a.bin<bytes:140001,$KEY,run:desf a.bin a.enc /OFB:5 /KEY:k.dek | desf a.enc b.bin /D /KEY:k.dek | 00 | | b.bin=same:a.bin
desf: /cfb:8 in lower case | all | $PLAIN,$KEY | desf a.bin a.enc /cfb:8 /KEY:k.dek | 00 | | a.enc=hdr:2:2:3:8:1000+size:1048
desf: empty source, 48-byte ciphertext | all | a.bin<bytes:0,$KEY | desf a.bin a.enc /CBC /KEY:k.dek | 00 | | a.enc=hdr:2:2:2:8:0+size:48
desf: empty ciphertext back to empty | all | a.bin<bytes:0,$KEY,run:desf a.bin a.enc /CBC /KEY:k.dek | desf a.enc b.bin /D /KEY:k.dek | 00 | | b.bin=size:0
desf: /HASH twice gives the same 56-byte file | all | $PLAIN,$KEY,run:desf a.bin h1 /HASH /KEY:k.dek | desf a.bin h2 /HASH /KEY:k.dek | 00 | | h2=hdr:4:2:0:8:0+size:56+same:h1
desf: /HASH depends on the key | all | $PLAIN,$KEY,run:desk k2.dek,run:desf a.bin h1 /HASH /KEY:k.dek | desf a.bin h2 /HASH /KEY:k2.dek | 00 | | h2=differ:h1
desf: /Y replaces an existing destination | all | $PLAIN,$KEY,a.enc<text:old | desf a.bin a.enc /CBC /KEY:k.dek /Y | 00 | | a.enc=hdr:2:2:2:8:1000
desf: existing destination kept without /Y | all | $PLAIN,$KEY,a.enc<text:old | desf a.bin a.enc /CBC /KEY:k.dek | 11 | a.enc |
desf: /COMP of equal files, no key, no question | all | $PLAIN,b.bin<copy:a.bin | desf a.bin b.bin /COMP | 00 | |
desf: /COMP of different files | all | $PLAIN,b.bin<copy:a.bin+flip:999 | desf a.bin b.bin /COMP | 07 | |
desf: /COMP of files of different lengths | all | $PLAIN,b.bin<copy:a.bin+trunc:999 | desf a.bin b.bin /COMP | 07 | |
desf: two names, no command | all | $PLAIN,$KEY | desf a.bin a.enc /KEY:k.dek | 01 | |
desf: a third name | all | $PLAIN,$KEY | desf a.bin a.enc c.enc /CBC /KEY:k.dek | 01 | |
desf: no command, no names | all | $KEY | desf | 01 | |
desf: one name | all | $PLAIN,$KEY | desf a.bin /CBC /KEY:k.dek | 01 | |
desf: two commands | all | $PLAIN,$KEY | desf a.bin a.enc /CBC /ECB /KEY:k.dek | 01 | |
desf: /CFB:9 | all | $PLAIN,$KEY | desf a.bin a.enc /CFB:9 /KEY:k.dek | 01 | |
desf: /CFB:0 | all | $PLAIN,$KEY | desf a.bin a.enc /CFB:0 /KEY:k.dek | 01 | |
desf: /OFB:9 | all | $PLAIN,$KEY | desf a.bin a.enc /OFB:9 /KEY:k.dek | 01 | |
desf: missing key | all | $PLAIN | desf a.bin a.enc /CBC /KEY:nokey.dek | 02 | ' nokey.dek' |
desf: missing default key | all | $PLAIN | desf a.bin a.enc /CBC | 02 | ' Ключ DES.DEK' |
desf: /HASH needs the key | all | $PLAIN | desf a.bin h /HASH /KEY:nokey.dek | 02 | ' nokey.dek' |
desf: key of 47 bytes | all | $PLAIN,$KEY,k.dek<trunc:47 | desf a.bin a.enc /CBC /KEY:k.dek | 02 | ' k.dek' |
desf: key header without its block | all | $PLAIN,$KEY,k.dek<trunc:48 | desf a.bin a.enc /CBC /KEY:k.dek | 02 | ' k.dek' |
desf: key block cut short | all | $PLAIN,$KEY,k.dek<trunc:56 | desf a.bin a.enc /CBC /KEY:k.dek | 02 | ' k.dek' |
desf: key block of three words | all | $PLAIN,$KEY,k.dek<poke:48:03+poke:60:00000000 | desf a.bin a.enc /CBC /KEY:k.dek | 32 | |
desf: key of the GOST algorithm | all | $PLAIN,$KEY,k.dek<poke:21:0100 | desf a.bin a.enc /CBC /KEY:k.dek | 27 | ' k.dek' |
desf: GOST substitution block as key | all | $PLAIN,t.txt<fixture:gosb_table.txt,run:gosb t.txt t.gtb /NOLOGO | desf a.bin a.enc /CBC /KEY:t.gtb | 27 | ' t.gtb' |
desf: ciphertext as key | all | $PLAIN,$KEY,run:desf a.bin c.enc /CBC /KEY:k.dek | desf a.bin a.enc /CBC /KEY:c.enc | 27 | ' c.enc' |
desf: wrong magic in the key | all | $PLAIN,$KEY,k.dek<poke:0:58 | desf a.bin a.enc /CBC /KEY:k.dek | 27 | ' k.dek' |
desf: key of version 2 | all | $PLAIN,$KEY,k.dek<poke:18:02 | desf a.bin a.enc /CBC /KEY:k.dek | 30 | ' k.dek' |
desf: minor version byte is not checked | all | $PLAIN,$KEY,k.dek<poke:17:05 | desf a.bin a.enc /CBC /KEY:k.dek | 00 | | a.enc=hdr:2:2:2:8:1000
desf: altered key byte | all | $PLAIN,$KEY,k.dek<flip:55 | desf a.bin a.enc /CBC /KEY:k.dek | 31 | ' k.dek' |
desf: altered integrity value | all | $PLAIN,$KEY,k.dek<flip:41 | desf a.bin a.enc /HASH /KEY:k.dek | 31 | ' k.dek' |
desf: missing source | all | $KEY | desf nope.bin a.enc /CBC /KEY:k.dek | 02 | nope.bin |
desf: missing source keeps the destination | all | $KEY,a.enc<text:old | desf nope.bin a.enc /CBC /KEY:k.dek /Y | 02 | nope.bin |
desf: /D of a file that is no ciphertext | all | $PLAIN,$KEY | desf a.bin b.bin /D /KEY:k.dek | 02 | a.bin |
desf: /D of a ciphertext of version 2 | all | $PLAIN,$KEY,run:desf a.bin a.enc /CBC /KEY:k.dek,a.enc<poke:18:02 | desf a.enc b.bin /D /KEY:k.dek | 27 | a.enc |
desf: destination in a missing folder | all | $PLAIN,$KEY | desf a.bin nodir/a.enc /CBC /KEY:k.dek | 03 | nodir/a.enc |
desf: password key with /NOLOGO | all | $PLAIN,$PWKEY | desf a.bin a.enc /CBC /KEY:k.dek /NOLOGO | 25 | | <stderr>=size:0
desf: password key unlocked by --password-file | all | $PLAIN,$PWKEY | --password-file pw.txt desf a.bin a.enc /CBC /KEY:k.dek | 00 | | a.enc=hdr:2:2:2:8:1000
desf: password key, /CBC and /D | all | $PLAIN,$PWKEY,run:--password-file pw.txt desf a.bin a.enc /CBC /KEY:k.dek | --password-file pw.txt desf a.enc b.bin /D /KEY:k.dek | 00 | | b.bin=same:a.bin
desf: password key, wrong password | all | $PLAIN,$PWKEY,bad.txt<text:correct horsf+private | --password-file bad.txt desf a.bin a.enc /CBC /KEY:k.dek | 31 | ' k.dek' |
# Password files in code page 1251 ("Пароль": cf e0 f0 ee eb fc) or UTF-8:
# the same password in either opens the same key when the host is told the
# encoding, and a file read in the wrong one gives no password at all (a
# 1251 file is no UTF-8) or another one. A line with a NUL byte is refused.
desf: password file in code page 1251 opens the key its UTF-8 twin made | all | $PLAIN,pw.txt<text:Пароль+private,run:--password-encoding utf-8 --password-file pw.txt desk PWD:k.dek,pw1251.txt<text:xxxxxx+poke:0:cfe0f0eeebfc+private | --password-encoding=cp1251 --password-file pw1251.txt desf a.bin a.enc /CBC /KEY:k.dek | 00 | | a.enc=hdr:2:2:2:8:1000
desf: password file in code page 1251 read as UTF-8 is refused | all | $PLAIN,pw.txt<text:Пароль+private,run:--password-encoding utf-8 --password-file pw.txt desk PWD:k.dek,pw1251.txt<text:xxxxxx+poke:0:cfe0f0eeebfc+private | --password-encoding utf-8 --password-file pw1251.txt desf a.bin a.enc /CBC /KEY:k.dek | 25 | | a.enc=-
desf: UTF-8 password file read as code page 1251 is another password | all | $PLAIN,pw.txt<text:Пароль+private,run:--password-encoding utf-8 --password-file pw.txt desk PWD:k.dek | --password-encoding cp1251 --password-file pw.txt desf a.bin a.enc /CBC /KEY:k.dek | 31 | ' k.dek' | a.enc=-
desk: password line with a NUL byte is refused | all | pw.txt<text:abcdef+poke:2:00+private | --password-file pw.txt desk PWD:k.dek | 25 | | k.dek=-
desf: Touch Memory key read silently | all | $PLAIN,$TMKEY | --carriers dev.txt desf a.bin a.enc /CBC /KEY:k.dek /NOLOGO | 00 | | a.enc=hdr:2:2:2:8:1000,<stderr>=size:0
desf: Touch Memory key, /CBC and /D | all | $PLAIN,$TMKEY,run:--carriers dev.txt desf a.bin a.enc /CBC /KEY:k.dek /NOLOGO | --carriers dev.txt desf a.enc b.bin /D /KEY:k.dek /NOLOGO | 00 | | b.bin=same:a.bin
desf: Touch Memory key, another device | all | $PLAIN,$TMKEY,dev2.txt<carriers:01a1b2c3d4e5f7 | --carriers dev2.txt desf a.bin a.enc /CBC /KEY:k.dek /NOLOGO | 31 | ' k.dek' |
desf: Touch Memory key, no device | all | $PLAIN,$TMKEY | desf a.bin a.enc /CBC /KEY:k.dek /NOLOGO | 25 | |
desk: every hardware carrier, silently | all | dev.txt<fixture:all_carriers.txt | --carriers dev.txt desk TM,QUADRA,ACTIVATOR,TESSEL:k.dek /NOLOGO | 00 | | k.dek=key:30,<stderr>=size:0
desf: every hardware carrier, /CBC and /D | all | $PLAIN,$ALLKEY,run:--carriers dev.txt desf a.bin a.enc /CBC /KEY:k.dek /NOLOGO | --carriers dev.txt desf a.enc b.bin /D /KEY:k.dek /NOLOGO | 00 | | b.bin=same:a.bin
desf: every hardware carrier, the token missing | all | $PLAIN,$ALLKEY,dev2.txt<fixture:all_carriers.txt+drop:tessel | --carriers dev2.txt desf a.bin a.enc /CBC /KEY:k.dek /NOLOGO | 25 | | a.enc=-
desf: password and dongle, /CBC and /D | all | $PLAIN,$MIXKEY,run:--carriers dev.txt --password-file pw.txt desf a.bin a.enc /CBC /KEY:k.dek | --carriers dev.txt --password-file pw.txt desf a.enc b.bin /D /KEY:k.dek | 00 | | b.bin=same:a.bin
desf: password and dongle, wrong password | all | $PLAIN,$MIXKEY,bad.txt<text:Пароль ключА+private | --carriers dev.txt --password-file bad.txt desf a.bin a.enc /CBC /KEY:k.dek | 31 | ' k.dek' | a.enc=-
openssl: /CBC is DES-CBC | all | a.bin<bytes:70000,$KEY | desf a.bin a.enc /CBC /KEY:k.dek | 00 | | a.enc=openssl:des-cbc:k.dek:a.bin
openssl: /ECB is DES-ECB, zero-filled | all | a.bin<bytes:69997,$KEY | desf a.bin a.enc /ECB /KEY:k.dek | 00 | | a.enc=size:70048+openssl:des-ecb:k.dek:a.bin
openssl: /CFB is 64-bit CFB | all | a.bin<bytes:70001,$KEY | desf a.bin a.enc /CFB /KEY:k.dek | 00 | | a.enc=openssl:des-cfb:k.dek:a.bin
openssl: /CFB:1 is 8-bit CFB | all | a.bin<bytes:70001,$KEY | desf a.bin a.enc /CFB:1 /KEY:k.dek | 00 | | a.enc=openssl:des-cfb8:k.dek:a.bin
openssl: /OFB is 64-bit OFB | all | a.bin<bytes:70001,$KEY | desf a.bin a.enc /OFB /KEY:k.dek | 00 | | a.enc=openssl:des-ofb:k.dek:a.bin
openssl: /HASH is the padded CBC-MAC | all | a.bin<bytes:70001,$KEY | desf a.bin h /HASH /KEY:k.dek | 00 | | h=mac:k.dek:a.bin
openssl: /HASH of whole blocks gains a block | all | a.bin<bytes:64,$KEY | desf a.bin h /HASH /KEY:k.dek | 00 | | h=mac:k.dek:a.bin
openssl: DES-CBC read by /D | all | a.bin<bytes:70000,b.bin<bytes:70000,$KEY,run:desf a.bin a.enc /CBC /KEY:k.dek,o.enc<head:a.enc:48+openssl:des-cbc:k.dek:b.bin | desf o.enc c.bin /D /KEY:k.dek | 00 | | c.bin=same:b.bin
openssl: DES-ECB read by /D | all | a.bin<bytes:70000,b.bin<bytes:70000,$KEY,run:desf a.bin a.enc /ECB /KEY:k.dek,o.enc<head:a.enc:48+openssl:des-ecb:k.dek:b.bin | desf o.enc c.bin /D /KEY:k.dek | 00 | | c.bin=same:b.bin
openssl: 64-bit CFB read by /D | all | a.bin<bytes:70001,b.bin<bytes:70001,$KEY,run:desf a.bin a.enc /CFB /KEY:k.dek,o.enc<head:a.enc:48+openssl:des-cfb:k.dek:b.bin | desf o.enc c.bin /D /KEY:k.dek | 00 | | c.bin=same:b.bin
openssl: 8-bit CFB read by /D | all | a.bin<bytes:70001,b.bin<bytes:70001,$KEY,run:desf a.bin a.enc /CFB:1 /KEY:k.dek,o.enc<head:a.enc:48+openssl:des-cfb8:k.dek:b.bin | desf o.enc c.bin /D /KEY:k.dek | 00 | | c.bin=same:b.bin
openssl: 64-bit OFB read by /D | all | a.bin<bytes:70001,b.bin<bytes:70001,$KEY,run:desf a.bin a.enc /OFB /KEY:k.dek,o.enc<head:a.enc:48+openssl:des-ofb:k.dek:b.bin | desf o.enc c.bin /D /KEY:k.dek | 00 | | c.bin=same:b.bin
EOF
)

run_cases "$CASES"

# ---- the host's help names its flags ------------------------------------------------
help_text=$(cd "$WORK" && "${LAUNCHER[@]}" "$NCCORE" --help 2>/dev/null)
status=$?
if [[ $status != 0 || $help_text != *--password-file* || $help_text != *--password-fd* ||
  $help_text != *--carriers* || $help_text != *ZqDES* ]]; then
  fail "--help names the host flags and the DES operations" "exit code $status"
else
  PASSED=$((PASSED + 1))
fi

echo "des_table ($MODE): $PASSED passed, $FAILED failed"
((SKIPPED)) && echo "des_table: $SKIPPED cases with simulated carriers skipped (no NCCORE_SIM host)"
((FAILED == 0))
