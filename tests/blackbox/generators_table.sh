#!/usr/bin/env bash
# Black-box table of the generators that need no carrier through the
# nccore host: ZqDIAP (Diffie-Hellman common numbers A and P), ZqGOSC (GOST
# signature common numbers p, q, a), ZqGOSK (GOST keys, unprotected, and
# a protected one refused when no one can give the password) and ZqGOSP
# (GOST signature key pairs, checked with Python's own arithmetic:
# y = a^x mod p, 0 < x < q) and ZqRSAK (RSA key pairs, checked likewise:
# m^(E D) = m mod N, E at least half of N's length, P and Q recovered from
# N, E and D alone and both prime by OpenSSL) and ZqDIK (Diffie-Hellman
# session key pairs: Y = A^X mod P by Python's pow). Arguments in; exit codes, result texts
# and the files' every field out. The files are read here independently of
# the library: header fields, block counts against the file size, the
# integrity register over the numbers, bit lengths, and OpenSSL's primality
# test for the moduli.
#
#   generators_table.sh <path-to-nccore> [wine]
#
# With "wine" the Windows build runs as `wine <nccore.exe>` (the WINE
# variable may name another launcher) and its result texts are expected in
# code page 1251. Each case runs in a fresh folder; one line is printed per
# failing case, and the exit status is 1 when any case failed.

set -u

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/lib.sh"
host_under_test generators_table "$@"
require_tools generators_table openssl od cmp python3
check_integrity_register

WORK=$(mktemp -d "${TMPDIR:-/tmp}/nccore-generators.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# ---- reading a file -------------------------------------------------------------
# FILE_HEX holds the file's bytes in hex; at() reads a little-endian 32-bit
# word at a byte offset as a decimal number.
FILE_HEX=
at() {
  local h=${FILE_HEX:$(($1 * 2)):8}
  ((${#h} == 8)) || {
    echo -1
    return
  }
  echo $((16#${h:6:2}${h:4:2}${h:2:2}${h:0:2}))
}
# A block's words (count at OFFSET) as one big-endian hex number.
number_hex() {
  local offset=$1 count i w out=
  count=$(at "$offset")
  for ((i = count - 1; i >= 0; i--)); do
    w=${FILE_HEX:$(((offset + 4 + 4 * i) * 2)):8}
    out+=${w:6:2}${w:4:2}${w:2:2}${w:0:2}
  done
  printf '%s' "$out"
}
# The bit length of a big-endian hex number.
bit_length() {
  local hex=$1 bits top
  while [[ $hex == 0* ]]; do hex=${hex#0}; done
  [[ -z $hex ]] && {
    echo 0
    return
  }
  top=$((16#${hex:0:1}))
  bits=$(((${#hex} - 1) * 4))
  while ((top > 0)); do
    bits=$((bits + 1))
    top=$((top >> 1))
  done
  echo "$bits"
}
is_prime() { [[ $(openssl prime -hex "$1" 2>/dev/null) == *"is prime"* ]]; }

# The 48-byte header: magic, version 0x0300, the file kind, algorithm and
# key kind given, headerSize 48, dataLength, protection and challenge 0.
header_problem() {  # algorithm keyKind
  local magic
  magic=$(hex_of_text TAVOCRYPTDATAFILE)
  [[ ${FILE_HEX:0:34} == "$magic" ]] || echo "no data-file magic"
  [[ ${FILE_HEX:34:4} == 0003 ]] || echo "version bytes ${FILE_HEX:34:4}"
  # fileKind, algorithm, mode, keyKind (16 bits each), unitSize (8), headerSize.
  local want
  want=0100$(printf '%02x00' "$1")0000$(printf '%02x00' "$2")0030000000
  [[ ${FILE_HEX:38:26} == "$want" ]] || echo "kinds and sizes ${FILE_HEX:38:26}, expected $want"
  [[ ${FILE_HEX:64:16} == 0000000000000000 ]] || echo "dataLength/protection ${FILE_HEX:64:16}"
  [[ ${FILE_HEX:88:8} == 00000000 ]] || echo "token challenge ${FILE_HEX:88:8}"
}

# check_ap FILE ALO-AHI PLO-PHI: a Diffie-Hellman common-numbers file: A and
# P of bit lengths in the ranges (a drawn length may come out shorter, never
# longer; the word count follows the drawn length), P a probable prime of
# exactly its drawn length, nothing after P, the integrity over A then P.
check_ap() {
  local a_lo=${2%-*} a_hi=${2#*-} p_lo=${3%-*} p_hi=${3#*-}
  header_problem 4 4
  local na np a p bits
  na=$(at 48)
  np=$(at $((52 + 4 * na)))
  ((na >= (a_lo + 31) / 32 && na <= (a_hi + 31) / 32)) || echo "A has $na words"
  ((np >= (p_lo + 31) / 32 && np <= (p_hi + 31) / 32)) || echo "P has $np words"
  ((${#FILE_HEX} == 2 * (56 + 4 * na + 4 * np))) || echo "size $((${#FILE_HEX} / 2)) bytes"
  a=$(number_hex 48)
  p=$(number_hex $((52 + 4 * na)))
  bits=$(bit_length "$a")
  ((bits <= a_hi)) || echo "A has $bits bits"
  bits=$(bit_length "$p")
  ((bits >= p_lo && bits <= p_hi && bits > 32 * (np - 1))) || echo "P has $bits bits in $np words"
  is_prime "$p" || echo "P is not prime"
  local covered=${FILE_HEX:104:$((8 * na))}${FILE_HEX:$((2 * (56 + 4 * na))):$((8 * np))}
  [[ ${FILE_HEX:80:8} == $(le32 "$(integrity_of_hex "$covered")") ]] ||
    echo "integrity ${FILE_HEX:80:8}"
}

# check_pqa FILE BITS: a GOST common-numbers file: p of BITS bits, q of 256
# bits, both prime, a below p; the two generation values after a; nothing
# more; the integrity over p, q, a and the two values.
check_pqa() {
  header_problem 1 4
  local np nq na p q a end
  np=$(at 48)
  nq=$(at $((52 + 4 * np)))
  na=$(at $((56 + 4 * np + 4 * nq)))
  end=$((60 + 4 * (np + nq + na)))
  ((np == ($2 + 31) / 32 && nq == 8 && na >= 1 && na <= np)) ||
    echo "word counts p $np, q $nq, a $na"
  ((${#FILE_HEX} == 2 * (end + 8))) || echo "size $((${#FILE_HEX} / 2)) bytes"
  p=$(number_hex 48)
  q=$(number_hex $((52 + 4 * np)))
  a=$(number_hex $((56 + 4 * np + 4 * nq)))
  [[ $(bit_length "$p") == "$2" ]] || echo "p has $(bit_length "$p") bits"
  [[ $(bit_length "$q") == 256 ]] || echo "q has $(bit_length "$q") bits"
  is_prime "$p" || echo "p is not prime"
  is_prime "$q" || echo "q is not prime"
  (($(bit_length "$a") > 1)) || echo "a is $a"
  local covered=${FILE_HEX:104:$((8 * np))}${FILE_HEX:$((2 * (56 + 4 * np))):$((8 * nq))}
  covered+=${FILE_HEX:$((2 * (60 + 4 * np + 4 * nq))):$((8 * na + 16))}
  [[ ${FILE_HEX:80:8} == $(le32 "$(integrity_of_hex "$covered")") ]] ||
    echo "integrity ${FILE_HEX:80:8}"
}

# check_gek FILE: an unprotected GOST key file: 84 bytes, the key header
# (fileKind 1, algorithm 1, keyKind 1, headerSize 48, no data length, no
# protection; the challenge is drawn for every key), eight key words, the
# integrity over them.
check_gek() {
  local magic
  magic=$(hex_of_text TAVOCRYPTDATAFILE)
  ((${#FILE_HEX} == 2 * 84)) || echo "size $((${#FILE_HEX} / 2)) bytes"
  [[ ${FILE_HEX:0:34} == "$magic" ]] || echo "no data-file magic"
  [[ ${FILE_HEX:34:4} == 0003 ]] || echo "version bytes ${FILE_HEX:34:4}"
  [[ ${FILE_HEX:38:26} == 01000100000001000030000000 ]] || echo "kinds and sizes ${FILE_HEX:38:26}"
  [[ ${FILE_HEX:64:16} == 0000000000000000 ]] || echo "dataLength/protection ${FILE_HEX:64:16}"
  (($(at 48) == 8)) || echo "key of $(at 48) words"
  [[ ${FILE_HEX:80:8} == $(le32 "$(integrity_of_hex "${FILE_HEX:104:64}")") ]] ||
    echo "integrity ${FILE_HEX:80:8}"
}

# check_halves SECRET PUBLIC ALG (in the case's folder): an unprotected
# secret half of algorithm ALG (keyKind 2, a challenge drawn, the integrity
# over its one block) and its public half (keyKind 3, no challenge, the
# integrity over its block), each exactly its block long. Leaves the files'
# bytes in SECRET_HEX and PUBLIC_HEX and the secret block's word count in
# SECRET_WORDS.
check_halves() {
  local ny kinds
  SECRET_HEX=$(hex_of_file "$1")
  PUBLIC_HEX=$(hex_of_file "$2")
  kinds=0100$(printf '%02x00' "$3")0000
  [[ ${SECRET_HEX:38:26} == "${kinds}02000030000000" ]] || echo "secret kinds ${SECRET_HEX:38:26}"
  [[ ${PUBLIC_HEX:38:26} == "${kinds}03000030000000" ]] || echo "public kinds ${PUBLIC_HEX:38:26}"
  [[ ${SECRET_HEX:64:16} == 0000000000000000 ]] || echo "secret dataLength/protection"
  [[ ${PUBLIC_HEX:64:16} == 0000000000000000 && ${PUBLIC_HEX:88:8} == 00000000 ]] ||
    echo "public dataLength/protection/challenge"
  FILE_HEX=$SECRET_HEX
  SECRET_WORDS=$(at 48)
  ((${#SECRET_HEX} == 2 * (52 + 4 * SECRET_WORDS))) || echo "secret size $((${#SECRET_HEX} / 2))"
  [[ ${SECRET_HEX:80:8} == $(le32 "$(integrity_of_hex "${SECRET_HEX:104:$((8 * SECRET_WORDS))}")") ]] ||
    echo "secret integrity"
  FILE_HEX=$PUBLIC_HEX
  ny=$(at 48)
  ((${#PUBLIC_HEX} == 2 * (52 + 4 * ny))) || echo "public size $((${#PUBLIC_HEX} / 2))"
  [[ ${PUBLIC_HEX:80:8} == $(le32 "$(integrity_of_hex "${PUBLIC_HEX:104:$((8 * ny))}")") ]] ||
    echo "public integrity"
}

# check_pair SECRET PUBLIC PQA (in the case's folder): an unprotected .GSK
# and its .GPK (check_halves, algorithm 1), and y = a^x mod p with
# 0 < x < q for the .PQA's numbers.
check_pair() {
  check_halves "$1" "$2" 1
  python3 - "$SECRET_HEX" "$PUBLIC_HEX" "$(hex_of_file "$3")" <<'PY'
import sys
def blocks(hexdata, offset, n):
    data = bytes.fromhex(hexdata)
    out = []
    for _ in range(n):
        count = int.from_bytes(data[offset:offset + 4], "little")
        out.append(int.from_bytes(data[offset + 4:offset + 4 + 4 * count], "little"))
        offset += 4 + 4 * count
    return out
x, = blocks(sys.argv[1], 48, 1)
y, = blocks(sys.argv[2], 48, 1)
p, q, a = blocks(sys.argv[3], 48, 3)
if not 0 < x < q:
    print("x is not between 0 and q")
if pow(a, x, p) != y:
    print("y is not a^x mod p")
PY
}

# check_rsa SECRET PUBLIC NLO-NHI (in the case's folder): an unprotected
# .RSK (algorithm 3, keyKind 2, a challenge drawn, N then E, the integrity
# over N's words then E's) and its .RPK (keyKind 3, no challenge, N then D,
# the integrity over N then D), each exactly its blocks long, with the same
# N; and Python's arithmetic on the numbers: N of NLO..NHI bits and odd, E
# at least half of N's length and below N, D neither 1 nor E,
# m^(E D) = m (mod N) for a few m, N's factors found from N, E and D.
check_rsa() {
  local secret_hex public_hex ne nd nn covered
  secret_hex=$(hex_of_file "$1")
  public_hex=$(hex_of_file "$2")
  [[ ${secret_hex:38:26} == 01000300000002000030000000 ]] || echo "secret kinds ${secret_hex:38:26}"
  [[ ${public_hex:38:26} == 01000300000003000030000000 ]] || echo "public kinds ${public_hex:38:26}"
  [[ ${secret_hex:64:16} == 0000000000000000 ]] || echo "secret dataLength/protection"
  [[ ${public_hex:64:16} == 0000000000000000 && ${public_hex:88:8} == 00000000 ]] ||
    echo "public dataLength/protection/challenge"
  FILE_HEX=$secret_hex
  nn=$(at 48)
  ne=$(at $((52 + 4 * nn)))
  ((${#secret_hex} == 2 * (56 + 4 * nn + 4 * ne))) || echo "secret size $((${#secret_hex} / 2))"
  covered=${secret_hex:104:$((8 * nn))}${secret_hex:$((2 * (56 + 4 * nn))):$((8 * ne))}
  [[ ${secret_hex:80:8} == $(le32 "$(integrity_of_hex "$covered")") ]] || echo "secret integrity"
  FILE_HEX=$public_hex
  (($(at 48) == nn)) || echo "N of $nn words in the secret key, $(at 48) in the public one"
  nd=$(at $((52 + 4 * nn)))
  ((${#public_hex} == 2 * (56 + 4 * nn + 4 * nd))) || echo "public size $((${#public_hex} / 2))"
  covered=${public_hex:104:$((8 * nn))}${public_hex:$((2 * (56 + 4 * nn))):$((8 * nd))}
  [[ ${public_hex:80:8} == $(le32 "$(integrity_of_hex "$covered")") ]] || echo "public integrity"
  python3 - "$secret_hex" "$public_hex" "$3" <<'PY'
import sys
def blocks(hexdata, offset, n):
    data = bytes.fromhex(hexdata)
    out = []
    for _ in range(n):
        count = int.from_bytes(data[offset:offset + 4], "little")
        word_bytes = data[offset + 4:offset + 4 + 4 * count]
        if count and word_bytes[-4:] == b"\0\0\0\0":
            print("a block with a zero top word")
        out.append(int.from_bytes(word_bytes, "little"))
        offset += 4 + 4 * count
    return out
n, e = blocks(sys.argv[1], 48, 2)
n2, d = blocks(sys.argv[2], 48, 2)
lo, hi = map(int, sys.argv[3].split("-"))
bits = n.bit_length()
if n2 != n:
    print("the files hold different moduli")
if not lo <= bits <= hi:
    print(f"N has {bits} bits")
if n % 2 == 0:
    print("N is even")
if e.bit_length() < (bits + 1) // 2 or e >= n:
    print(f"E has {e.bit_length()} bits for N of {bits}")
if d in (1, e) or not 1 < d < n:
    print("D is 1, E, or not below N")
for m in (2, 3, 65537, 0x1234567, n - 2):
    m %= n
    if pow(pow(m, e, n), d, n) != m:
        print(f"m^(E D) is not m for m = {m}")
        break
# P and Q from (N, E, D) alone: E D - 1 = 2^s t is a multiple of
# lcm(P-1, Q-1), so for most g some g^(t 2^i) is a square root of 1 other
# than +-1, and its gcd with N is a factor. Then both must be prime by
# OpenSSL's own test, of half of N's length each (one may have a bit more).
import math, subprocess
k = e * d - 1
t, s = k, 0
while t % 2 == 0:
    t //= 2
    s += 1
p = None
for g in range(2, 200):
    x = pow(g, t, n)
    for _ in range(s):
        y = x * x % n
        if y == 1 and x not in (1, n - 1):
            p = math.gcd(x - 1, n)
            break
        x = y
    if p:
        break
if not p:
    print("P and Q not recovered from N, E and D")
else:
    q = n // p
    if p * q != n or p == q:
        print("the recovered factors are not two distinct ones")
    for f in (p, q):
        out = subprocess.run(["openssl", "prime", "-hex", format(f, "X")], capture_output=True,
                             text=True).stdout
        if "is prime" not in out:
            print(f"a factor of N is not prime: {f:X}")
    if abs(p.bit_length() - q.bit_length()) > 1:
        print(f"P and Q of {p.bit_length()} and {q.bit_length()} bits")
PY
}

# check_dsk SECRET PUBLIC AP XLO-XHI (in the case's folder): an unprotected
# .DSK and its .DPK (check_halves, algorithm 4); X of XLO..XHI bits' word
# count, at most XHI bits, neither 0 nor 1, and Y = A^X mod P by Python's
# pow with the .AP's numbers.
check_dsk() {
  local lo=${4%-*} hi=${4#*-}
  check_halves "$1" "$2" 4
  ((SECRET_WORDS >= (lo + 31) / 32 && SECRET_WORDS <= (hi + 31) / 32)) ||
    echo "X has $SECRET_WORDS words"
  python3 - "$SECRET_HEX" "$PUBLIC_HEX" "$(hex_of_file "$3")" "$hi" <<'PY'
import sys
def blocks(hexdata, n):
    data, offset, out = bytes.fromhex(hexdata), 48, []
    for _ in range(n):
        count = int.from_bytes(data[offset:offset + 4], "little")
        out.append(int.from_bytes(data[offset + 4:offset + 4 + 4 * count], "little"))
        offset += 4 + 4 * count
    return out
x, = blocks(sys.argv[1], 1)
y, = blocks(sys.argv[2], 1)
a, p = blocks(sys.argv[3], 2)
if x < 2 or x.bit_length() > int(sys.argv[4]):
    print(f"X of {x.bit_length()} bits")
if pow(a, x, p) != y:
    print("Y is not A^X mod P")
PY
}

# ---- one case ----------------------------------------------------------------------
# run_case NAME SETUP ARGS CODE TEXT-NAME CHECKS
#   SETUP   comma-separated "file<old" (a file with old contents), "file<hex:HEX"
#           (a file of those bytes), "dir/"
#           (a folder), or "run:ARGS" (the host run first, its output kept)
#   CHECKS  comma-separated "file=ap:ALO-AHI:PLO-PHI", "file=pqa:BITS", "file=gek",
#           "secret=pair:public:pqa" (a signature key pair of those numbers),
#           "secret=rsa:public:NLO-NHI" (an RSA key pair, N of NLO..NHI bits),
#           "secret=dsk:public:ap:XLO-XHI" (a Diffie-Hellman session key pair
#           of those common numbers, X of XLO..XHI bits),
#           "file=old" (unchanged), "file=named" (exists), "file=-" (absent),
#           "file=differ:other"
#           (both files exist and differ). No other file may be left.
CASE_NO=0
run_case() {
  local name=$1 setup=$2 args=$3 code=$4 text_name=$5 checks=$6
  # A quoted name keeps its blanks: ' n.pqa' for the failures of an input
  # file, which put one more blank before the name.
  [[ $text_name == \'* ]] && eval "text_name=$text_name"
  CASE_NO=$((CASE_NO + 1))
  local dir=$WORK/case$CASE_NO item file kind problems=()
  local -a argv items
  mkdir -p "$dir"
  local -A made=()
  IFS=',' read -r -a items <<<"$setup"
  for item in "${items[@]}"; do
    case $item in
      '') ;;
      */) mkdir -p "$dir/$item" ;;
      run:*)
        eval "argv=(${item#run:})"
        (cd "$dir" && NCCORE_UI=headless "${LAUNCHER[@]}" "$NCCORE" "${argv[@]}" \
          </dev/null >/dev/null 2>&1) || problems+=("setup '${item#run:}' failed")
        ;;
      *'<old')
        file=${item%<old}
        printf 'previous contents\n' >"$dir/$file"
        ;;
      *'<hex:'*) bytes_of_hex "${item#*<hex:}" >"$dir/${item%%<*}" ;;
    esac
  done
  while IFS= read -r -d '' file; do made[${file#"$dir/"}]=1; done < <(find "$dir" -type f -print0)

  eval "argv=($args)"
  local status
  (cd "$dir" && NCCORE_UI=headless exec "${LAUNCHER[@]}" "$NCCORE" "${argv[@]}" </dev/null) \
    >"$WORK/stdout" 2>"$WORK/stderr"
  status=$?
  ((10#$code == status)) || problems+=("exit code $status, expected $((10#$code))")
  local problem tag
  tag=${argv[0]^^}
  [[ $tag == ZQ* ]] || tag=ZQ$tag
  problem=$(result_text_problem "$WORK/stdout" "$tag${MESSAGE[$code]}$text_name")
  [[ -n $problem ]] && problems+=("$problem")

  IFS=',' read -r -a items <<<"$checks"
  local -A named=()
  for item in "${items[@]}"; do
    [[ -z $item ]] && continue
    file=${item%%=*}
    kind=${item#*=}
    named[$file]=1
    if [[ $kind == - ]]; then
      [[ -e $dir/$file ]] && problems+=("$file exists")
      continue
    fi
    if [[ ! -f $dir/$file ]]; then
      problems+=("$file missing")
      continue
    fi
    FILE_HEX=$(hex_of_file "$dir/$file")
    case $kind in
      old) [[ $(cat "$dir/$file") == "previous contents" ]] || problems+=("$file changed") ;;
      named) ;;
      differ:*) cmp -s "$dir/$file" "$dir/${kind#differ:}" && problems+=("$file is ${kind#differ:}") ;;
      ap:*)
        IFS=':' read -r _ a_range p_range <<<"$kind"
        while IFS= read -r problem; do problems+=("$file: $problem"); done \
          < <(check_ap "$file" "$a_range" "$p_range")
        ;;
      pqa:*)
        while IFS= read -r problem; do problems+=("$file: $problem"); done \
          < <(check_pqa "$file" "${kind#pqa:}")
        ;;
      gek)
        while IFS= read -r problem; do problems+=("$file: $problem"); done < <(check_gek "$file")
        ;;
      rsa:*)
        IFS=':' read -r _ public range <<<"$kind"
        while IFS= read -r problem; do problems+=("$file: $problem"); done \
          < <(cd "$dir" && check_rsa "$file" "$public" "$range")
        ;;
      dsk:*)
        IFS=':' read -r _ public ap range <<<"$kind"
        while IFS= read -r problem; do problems+=("$file: $problem"); done \
          < <(cd "$dir" && check_dsk "$file" "$public" "$ap" "$range")
        ;;
      pair:*)
        IFS=':' read -r _ public pqa <<<"$kind"
        while IFS= read -r problem; do problems+=("$file: $problem"); done \
          < <(cd "$dir" && check_pair "$file" "$public" "$pqa")
        ;;
    esac
  done
  # Nothing else may be left: no temporary file, no stray output.
  while IFS= read -r -d '' file; do
    file=${file#"$dir/"}
    [[ -n ${named[$file]+set} || -n ${made[$file]+set} ]] || problems+=("unexpected file '$file'")
  done < <(find "$dir" -type f -print0)
  case_verdict "$name" "${problems[@]}"
}

# ---- the cases -------------------------------------------------------------------
# name | where | setup | arguments | code | name in text | checks
CASES=$(
  cat <<'EOF'
diap: defaults, default name | all | | diap | 00 | | Числа AP.AP=ap:128-256:256-512
diap: given name, A of 9 bits, P of 64 words | all | | diap n.ap /A:9-9 /P:2048-2048 | 00 | | n.ap=ap:9-9:2048-2048
diap: P of 33 bits takes two words | all | | diap n.ap /P:33-33 /nologo | 00 | | n.ap=ap:128-256:33-33
diap: two runs differ | all | run:diap a.ap | diap b.ap | 00 | | b.ap=ap:128-256:256-512,a.ap=differ:b.ap
diap: /P:8-100 is refused | all | | diap n.ap /P:8-100 | 01 | | n.ap=-
diap: /P:100-99 is refused | all | | diap n.ap /P:100-99 | 01 | | n.ap=-
diap: /A:9-2049 is refused | all | | diap n.ap /A:9-2049 | 01 | | n.ap=-
diap: a second name is refused | all | | diap n.ap m.ap | 01 | | n.ap=-,m.ap=-
diap: an existing file is kept without /Y | all | n.ap<old | diap n.ap /NOLOGO | 11 | n.ap | n.ap=old
diap: /Y replaces it | all | n.ap<old | diap n.ap /Y | 00 | | n.ap=ap:128-256:256-512
diap: a bad range keeps an existing file | all | n.ap<old | diap n.ap /Y /P:8-100 | 01 | | n.ap=old
diap: a missing folder | all | | diap nodir/n.ap | 03 | nodir/n.ap |
diap: Cyrillic name | all | | diap числа.ap | 00 | | числа.ap=ap:128-256:256-512
gosc: defaults, default name | all | | gosc /NOLOGO | 00 | | Числа PQA.PQA=pqa:512
gosc: 1024 bits with the variant procedure | all | | gosc n.pqa /P:1024 /EXT /NOLOGO | 00 | | n.pqa=pqa:1024
gosc: /P:512,more reads 512 | all | | gosc n.pqa /P:512,more /NOLOGO | 00 | | n.pqa=pqa:512
gosc: /P:513 is refused | all | | gosc n.pqa /P:513 | 01 | | n.pqa=-
gosc: /P:x is refused | all | | gosc n.pqa /P:x | 01 | | n.pqa=-
gosc: an existing file is kept without /Y | all | n.pqa<old | gosc n.pqa /NOLOGO | 11 | n.pqa | n.pqa=old
gosc: /Y replaces it | all | n.pqa<old | gosc n.pqa /Y /NOLOGO | 00 | | n.pqa=pqa:512
gosc: a missing folder | all | | gosc nodir/n.pqa /NOLOGO | 03 | nodir/n.pqa |
gosk: defaults, default name | all | | gosk | 00 | | Ключ ГОСТ.GEK=gek
gosk: given name | all | | gosk k.gek | 00 | | k.gek=gek
gosk: two runs differ | all | run:gosk a.gek | gosk b.gek | 00 | | b.gek=gek,a.gek=differ:b.gek
gosk: no password without a user keeps the old file | all | k.gek<old | gosk PWD:k.gek /NOLOGO /Y | 25 | | k.gek=old
gosk: TM,PWD: likewise | all | k.gek<old | gosk TM,PWD:k.gek /NOLOGO /Y | 25 | | k.gek=old
gosk: an existing file is kept without /Y | all | k.gek<old | gosk k.gek /NOLOGO | 11 | k.gek | k.gek=old
gosk: a second name is refused | all | | gosk a.gek b.gek | 01 | | a.gek=-,b.gek=-
gosk: a missing folder | all | | gosk nodir/k.gek | 03 | nodir/k.gek |
gosp: a pair of 512-bit numbers | all | run:gosc n.pqa /NOLOGO | gosp /PQA:n.pqa /SECRET:x.gsk /PUBLIC:y.gpk | 00 | | x.gsk=pair:y.gpk:n.pqa,y.gpk=named,n.pqa=named
gosp: a pair of 1024-bit numbers | all | run:gosc n.pqa /P:1024 /NOLOGO | gosp /PQA:n.pqa /SECRET:x.gsk /PUBLIC:y.gpk | 00 | | x.gsk=pair:y.gpk:n.pqa,y.gpk=named,n.pqa=named
gosp: defaults | all | run:gosc /NOLOGO | gosp | 00 | | Секретный ключ ЭЦП ГОСТ.GSK=pair:Публичный ключ ЭЦП ГОСТ.GPK:Числа PQA.PQA,Публичный ключ ЭЦП ГОСТ.GPK=named,Числа PQA.PQA=named
gosp: /X: is skipped | all | run:gosc n.pqa /NOLOGO | gosp /X:whatever /PQA:n.pqa /SECRET:x.gsk /PUBLIC:y.gpk | 00 | | x.gsk=pair:y.gpk:n.pqa,y.gpk=named,n.pqa=named
gosp: a bare name is refused | all | run:gosc n.pqa /NOLOGO | gosp /PQA:n.pqa x.gsk | 01 | | n.pqa=named
gosp: one file for both halves | all | run:gosc n.pqa /NOLOGO | gosp /PQA:n.pqa /SECRET:k.gsk /PUBLIC:./k.gsk | 01 | | n.pqa=named,k.gsk=-
gosp: a missing .PQA | all | | gosp /PQA:n.pqa /SECRET:x.gsk /PUBLIC:y.gpk | 02 | ' n.pqa' | x.gsk=-,y.gpk=-
gosp: a .GEK is no .PQA | all | run:gosk n.pqa | gosp /PQA:n.pqa /SECRET:x.gsk /PUBLIC:y.gpk | 27 | ' n.pqa' | n.pqa=named
gosp: no password without a user keeps both | all | x.gsk<old,y.gpk<old,run:gosc n.pqa /NOLOGO | gosp /PQA:n.pqa /SECRET:PWD:x.gsk /PUBLIC:y.gpk /Y /NOLOGO | 25 | | x.gsk=old,y.gpk=old,n.pqa=named
gosp: an existing secret key is kept without /Y | all | x.gsk<old,y.gpk<old,run:gosc n.pqa /NOLOGO | gosp /PQA:n.pqa /SECRET:x.gsk /PUBLIC:y.gpk /NOLOGO | 11 | x.gsk | x.gsk=old,y.gpk=old,n.pqa=named
rsak: N of 18 bits | all | | rsak /N:18-18 /SECRET:k.rsk /PUBLIC:k.rpk /NOLOGO | 00 | | k.rsk=rsa:k.rpk:18-18,k.rpk=named
rsak: N of 19 bits, E of 10 to 1024 | all | | rsak /N:19-19 /E:10-1024 /SECRET:k.rsk /PUBLIC:k.rpk | 00 | | k.rsk=rsa:k.rpk:19-19,k.rpk=named
rsak: defaults, default names | all | | rsak /NOLOGO | 00 | | Секретный ключ RSA.RSK=rsa:Публичный ключ RSA.RPK:512-516,Публичный ключ RSA.RPK=named
rsak: N of 1024 bits | all | | rsak /N:1024-1024 /SECRET:k.rsk /PUBLIC:k.rpk /NOLOGO | 00 | | k.rsk=rsa:k.rpk:1024-1024,k.rpk=named
rsak: a range of N | all | | rsak /N:200-230 /E:115-199 /SECRET:k.rsk /PUBLIC:k.rpk | 00 | | k.rsk=rsa:k.rpk:200-230,k.rpk=named
rsak: /Y replaces both | all | k.rsk<old,k.rpk<old | rsak /N:64-64 /SECRET:k.rsk /PUBLIC:k.rpk /Y /NOLOGO | 00 | | k.rsk=rsa:k.rpk:64-64,k.rpk=named
rsak: /N:17-20 is refused | all | | rsak /N:17-20 /SECRET:k.rsk /PUBLIC:k.rpk | 01 | | k.rsk=-,k.rpk=-
rsak: /N:20-19 is refused | all | | rsak /N:20-19 /SECRET:k.rsk /PUBLIC:k.rpk | 01 | | k.rsk=-,k.rpk=-
rsak: /N:18-2049 is refused | all | | rsak /N:18-2049 /SECRET:k.rsk /PUBLIC:k.rpk | 01 | | k.rsk=-,k.rpk=-
rsak: /N:512 alone is refused | all | | rsak /N:512 /SECRET:k.rsk /PUBLIC:k.rpk | 01 | | k.rsk=-,k.rpk=-
rsak: /E:8-10 is refused | all | | rsak /E:8-10 /SECRET:k.rsk /PUBLIC:k.rpk | 01 | | k.rsk=-,k.rpk=-
rsak: /E:1-1025 is refused | all | | rsak /E:1-1025 /SECRET:k.rsk /PUBLIC:k.rpk | 01 | | k.rsk=-,k.rpk=-
rsak: E below half of N is refused | all | | rsak /N:1024-1024 /E:256-258 /SECRET:k.rsk /PUBLIC:k.rpk | 01 | | k.rsk=-,k.rpk=-
rsak: E not below N is refused | all | | rsak /N:100-100 /E:100-120 /SECRET:k.rsk /PUBLIC:k.rpk | 01 | | k.rsk=-,k.rpk=-
rsak: a bare name is refused | all | | rsak k.rsk | 01 | | k.rsk=-
rsak: one file for both halves | all | | rsak /SECRET:k.key /PUBLIC:./k.key | 01 | | k.key=-
rsak: an existing secret key is kept without /Y | all | k.rsk<old,k.rpk<old | rsak /N:64-64 /SECRET:k.rsk /PUBLIC:k.rpk /NOLOGO | 11 | k.rsk | k.rsk=old,k.rpk=old
rsak: an existing public key is kept without /Y | all | k.rpk<old | rsak /N:64-64 /SECRET:k.rsk /PUBLIC:k.rpk /NOLOGO | 11 | k.rpk | k.rsk=-,k.rpk=old
rsak: no password without a user | all | | rsak /N:64-64 /SECRET:PWD:k.rsk /PUBLIC:k.rpk /NOLOGO | 25 | | k.rsk=-,k.rpk=-
rsak: no password keeps both old files | all | k.rsk<old,k.rpk<old | rsak /N:64-64 /SECRET:PWD,TM:k.rsk /PUBLIC:k.rpk /NOLOGO /Y | 25 | | k.rsk=old,k.rpk=old
rsak: a missing folder | all | | rsak /N:64-64 /SECRET:nodir/k.rsk /PUBLIC:k.rpk /NOLOGO | 03 | nodir/k.rsk | k.rpk=-
dik: defaults, default names, X of 4 to 8 words | all | run:diap /P:512-512 /NOLOGO | dik | 00 | | Секретный сеансовый ключ.DSK=dsk:Публичный сеансовый ключ.DPK:Числа AP.AP:128-256,Публичный сеансовый ключ.DPK=named,Числа AP.AP=named
dik: X of 9 bits | all | run:diap n.ap /NOLOGO | dik /X:9-9 /AP:n.ap /SECRET:x.dsk /PUBLIC:y.dpk | 00 | | x.dsk=dsk:y.dpk:n.ap:9-9,y.dpk=named,n.ap=named
dik: X of 2048 bits, P of 2048 | all | run:diap n.ap /P:2048-2048 /NOLOGO | dik /X:2048-2048 /AP:n.ap /SECRET:x.dsk /PUBLIC:y.dpk /NOLOGO | 00 | | x.dsk=dsk:y.dpk:n.ap:2048-2048,y.dpk=named,n.ap=named
dik: /Y replaces both | all | x.dsk<old,y.dpk<old,run:diap n.ap /NOLOGO | dik /AP:n.ap /SECRET:x.dsk /PUBLIC:y.dpk /Y /NOLOGO | 00 | | x.dsk=dsk:y.dpk:n.ap:128-256,y.dpk=named,n.ap=named
dik: /X:8-10 is refused | all | run:diap n.ap /NOLOGO | dik /X:8-10 /AP:n.ap /SECRET:x.dsk /PUBLIC:y.dpk | 01 | | n.ap=named,x.dsk=-,y.dpk=-
dik: /X:10-9 is refused | all | run:diap n.ap /NOLOGO | dik /X:10-9 /AP:n.ap /SECRET:x.dsk /PUBLIC:y.dpk | 01 | | n.ap=named,x.dsk=-,y.dpk=-
dik: /X:9-2049 is refused | all | run:diap n.ap /NOLOGO | dik /X:9-2049 /AP:n.ap /SECRET:x.dsk /PUBLIC:y.dpk | 01 | | n.ap=named,x.dsk=-,y.dpk=-
dik: a bare name is refused | all | run:diap n.ap /NOLOGO | dik /AP:n.ap x.dsk | 01 | | n.ap=named
dik: one file for both halves | all | run:diap n.ap /NOLOGO | dik /AP:n.ap /SECRET:k.key /PUBLIC:./k.key | 01 | | n.ap=named,k.key=-
dik: a missing .AP | all | | dik /AP:n.ap /SECRET:x.dsk /PUBLIC:y.dpk | 02 | ' n.ap' | x.dsk=-,y.dpk=-
dik: A of more than 64 words is a read failure | all | n.ap<hex:5441564f43525950544441544146494c450003010004000000040000300000000000000000000000000000000000000041000000 | dik /AP:n.ap /SECRET:x.dsk /PUBLIC:y.dpk | 02 | ' n.ap' | n.ap=named,x.dsk=-,y.dpk=-
dik: a .DPK is no .AP | all | run:diap n.ap /NOLOGO,run:dik /AP:n.ap /SECRET:x.dsk /PUBLIC:y.dpk /NOLOGO | dik /AP:y.dpk /SECRET:x2.dsk /PUBLIC:y2.dpk | 27 | ' y.dpk' | n.ap=named,x.dsk=named,y.dpk=named
dik: no password without a user | all | run:diap n.ap /NOLOGO | dik /AP:n.ap /SECRET:PWD:x.dsk /PUBLIC:y.dpk /NOLOGO | 25 | | n.ap=named,x.dsk=-,y.dpk=-
dik: an existing secret key is kept, before the .AP is read | all | x.dsk<old,y.dpk<old | dik /AP:n.ap /SECRET:x.dsk /PUBLIC:y.dpk /NOLOGO | 11 | x.dsk | x.dsk=old,y.dpk=old
dik: an existing public key is kept without /Y | all | y.dpk<old | dik /AP:n.ap /SECRET:x.dsk /PUBLIC:y.dpk /NOLOGO | 11 | y.dpk | x.dsk=-,y.dpk=old
dik: a missing folder | all | run:diap n.ap /NOLOGO | dik /AP:n.ap /SECRET:nodir/x.dsk /PUBLIC:y.dpk /NOLOGO | 03 | nodir/x.dsk | n.ap=named,y.dpk=-
EOF
)
run_cases "$CASES"

echo "generators_table ($MODE): $PASSED passed, $FAILED failed"
((FAILED == 0))
