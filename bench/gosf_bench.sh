#!/usr/bin/env bash
# Whole-process timing of `nccore gosf` against OpenSSL's GOST provider
# (libengine-gost-openssl) and rhash on the same file in the same run,
# reported as ratios; and the peak memory of our jobs on a small and a large
# file, which stays flat (the work goes in 64 KiB chunks).
#
#   bench/gosf_bench.sh [--nccore PATH] [MiB] [runs]
#
#   --nccore PATH  the host to time (default: the Release build in
#                  build/release, configured and built first as
#                  scripts/run.sh does)
#   MiB            size of the source file (default 256)
#   runs           timed runs of each command (default 3), taken in turn,
#                  ours then the peer's, so a change in the machine's load
#                  hits both alike
#
# Pairs (ours | the peer's; key, block and synchro the same, output to a file
# in the same folder):
#   /GM    | openssl enc -gost89-cnt (the standard's counter mode)
#   /FG    | openssl enc -gost89     (64-bit CFB)
#   /SR    | openssl enc -gost89-cbc -nopad: OpenSSL has no GOST 28147-89
#            ECB, and CBC costs the same one block encryption per 8 bytes
#   /HASH  | rhash --gost94
# The ciphers run with the CryptoPro-A block (CRYPT_PARAMS selects it for
# OpenSSL's gost89 and gost89-cbc; gost89-cnt always uses it), the hash with
# the GOST R 34.11-94 test block.
# Before timing, each pair's outputs are compared (our payload after the
# 48-byte header): OpenSSL's command line changes the key every 1024 bytes
# in both gamma modes (CryptoPro key meshing), which the standard does not,
# so only the first 1024 bytes of those are compared; our /SR output is
# checked over its first MiB through OpenSSL's CBC decryption (which gives
# each block deciphered XOR the previous ciphertext block); the hash whole.
#
# Wall time and peak memory come from GNU time (/usr/bin/time, Debian
# package "time"). The figures are medians; the ratio column is the median
# of the per-pair ratios ours/peer (above 1: we are slower). This is a
# benchmark, not a test: nothing here passes or fails on timing.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/bench/lib.sh"
bench_arguments "$@"
set -- "${BENCH_ARGS[@]}"
mib=${1:-256}
runs=${2:-3}

bench_require gosf_bench /usr/bin/time openssl rhash python3
bench_host "$top" "$nccore"

work=$(mktemp -d "${TMPDIR:-/tmp}/gosf-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

ossl=(env CRYPT_PARAMS=1.2.643.2.2.31.1 openssl enc -provider gostprov -provider default)
if ! "${ossl[@]}" -gost89-cnt -K "$(printf '%064d' 0)" -iv 0000000000000000 </dev/null >/dev/null \
  2>&1; then
  echo "gosf_bench: OpenSSL's GOST provider is missing (libengine-gost-openssl)" >&2
  exit 2
fi
iv=4b4c424e56527a7a # "KLBNVRzz", the synchro of the GOST file jobs
NCCORE_UI=headless "$nccore" gosk k.gek /NOLOGO >/dev/null
NCCORE_UI=headless "$nccore" gosb "$top/res/gost/cryptopro_a.txt" a.gtb /NOLOGO >/dev/null
NCCORE_UI=headless "$nccore" gosb "$top/res/gost/test_paramset.txt" t.gtb /NOLOGO >/dev/null
key=$(od -An -tx1 -v -j52 -N32 k.gek | tr -d ' \n')
head -c $((mib * 1048576)) /dev/urandom >src.bin
head -c $((16 * 1048576)) src.bin >small.bin

# Our command line, in the array `job`: the key for every command but /HASH.
our_job() { # source, output, command, block
  job=(env NCCORE_UI=headless "$nccore" gosf "$1" "$2" "$3" "/BLK:$4")
  [[ $3 == /HASH ]] || job+=(/KEY:k.gek)
  job+=(/Y /NOLOGO)
}

# /SR checked through OpenSSL's CBC decryption with a zero vector: block i
# of that is D(C_i) XOR C_(i-1), so XORed with the ciphertext shifted by one
# block it must give the source.
check_simple_replacement() {
  tail -c +49 out.enc | head -c 1048576 >c.bin
  "${ossl[@]}" -d -gost89-cbc -nopad -K "$key" -iv 0000000000000000 -in c.bin -out d.bin
  python3 - <<'EOF'
import sys
c = open("c.bin", "rb").read()
d = open("d.bin", "rb").read()
s = open("src.bin", "rb").read(len(c))
prev = bytes(8) + c[:-8]
sys.exit(0 if bytes(x ^ y for x, y in zip(d, prev)) == s else 1)
EOF
}

printf 'source: %d MiB, %d runs each; nccore: %s\n' "$mib" "$runs" "$nccore"
printf '%-6s %-24s %9s %9s %7s %10s %10s\n' ours peer "ours s" "peer s" ratio \
  "ours MiB/s" "peer MiB/s"

pairs=("/GM -gost89-cnt" "/FG -gost89" "/SR -gost89-cbc" "/HASH --gost94")
for pair in "${pairs[@]}"; do
  read -r option peer <<<"$pair"
  job=()
  if [[ $option == /HASH ]]; then
    our_job src.bin out.hsh /HASH t.gtb
    theirs=(rhash --gost94 --simple src.bin)
    label="rhash --gost94"
    ours=("${job[@]}")
    "${ours[@]}" >/dev/null
    if [[ $(od -An -tx1 -v -j48 out.hsh | tr -d ' \n') != $("${theirs[@]}" | cut -d' ' -f1) ]]; then
      echo "gosf_bench: /HASH and rhash --gost94 disagree" >&2
      exit 1
    fi
  else
    our_job src.bin out.enc "$option" a.gtb
    theirs=("${ossl[@]}" -e "$peer" -K "$key" -iv "$iv" -in src.bin -out theirs.enc)
    label="openssl $peer"
    ours=("${job[@]}")
    [[ $option == /SR ]] && theirs+=(-nopad)
    "${ours[@]}" >/dev/null
    "${theirs[@]}"
    if [[ $option == /SR ]]; then
      check_simple_replacement || { echo "gosf_bench: /SR is not GOST 28147-89 ECB" >&2; exit 1; }
    elif ! cmp -s <(tail -c +49 out.enc | head -c 1024) <(head -c 1024 theirs.enc); then
      echo "gosf_bench: $option and $peer disagree in the first 1024 bytes" >&2
      exit 1
    fi
  fi
  : >a.txt
  : >b.txt
  : >r.txt
  for ((i = 0; i < runs; i++)); do
    read -r ta _ < <(bench_timed_memory "${ours[@]}")
    read -r tb _ < <(bench_timed_memory "${theirs[@]}")
    echo "$ta" >>a.txt
    echo "$tb" >>b.txt
    awk -v a="$ta" -v b="$tb" 'BEGIN { if (b > 0) print a / b }' >>r.txt
  done
  ma=$(median <a.txt)
  mb=$(median <b.txt)
  ratio=$(median <r.txt)
  awk -v o="$option" -v l="$label" -v a="$ma" -v b="$mb" -v r="$ratio" -v m="$mib" \
    'BEGIN { printf "%-6s %-24s %9.2f %9.2f %7.2f %10.1f %10.1f\n", o, l, a, b, r,
             (a > 0 ? m / a : 0), (b > 0 ? m / b : 0) }'
  rm -f out.enc out.hsh theirs.enc
done

# Peak memory of our jobs: 16 MiB against the whole source.
echo
printf '%-6s %14s %14s\n' job "16 MiB: KiB" "$mib MiB: KiB"
for size in small src; do
  our_job $size.bin $size.enc /GM a.gtb
  "${job[@]}" >/dev/null
done
for option in /GM /D /HASH; do
  src_small=small.bin src_large=src.bin
  [[ $option == /D ]] && src_small=small.enc src_large=src.enc
  our_job "$src_small" out.bin "$option" a.gtb
  read -r _ small < <(bench_timed_memory "${job[@]}")
  our_job "$src_large" out.bin "$option" a.gtb
  read -r _ large < <(bench_timed_memory "${job[@]}")
  printf '%-6s %14s %14s\n' "$option" "$small" "$large"
  rm -f out.bin
done
