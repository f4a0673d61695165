#!/usr/bin/env bash
# Whole-process timing of `nccore desf` against the `openssl enc` command on
# the same file in the same run, reported as ratios; and the peak memory of
# our jobs on a small and a large file, which stays flat (the work goes in
# 64 KiB chunks).
#
#   bench/desf_bench.sh [--nccore PATH] [MiB] [runs]
#
#   --nccore PATH  the host to time (default: the Release build in
#                  build/release, configured and built first as
#                  scripts/run.sh does)
#   MiB            size of the source file (default 256)
#   runs           timed runs of each command (default 3), taken in turn,
#                  ours then OpenSSL's, so a change in the machine's load
#                  hits both alike
#
# Pairs (ours | OpenSSL's, key and vector the same, output to a file in the
# same folder):
#   /ECB    | -des-ecb -nopad        /CBC   | -des-cbc -nopad
#   /CFB:8  | -des-cfb (64-bit CFB)  /CFB:1 | -des-cfb8 (8-bit CFB)
#   /OFB    | -des-ofb
#   /HASH   | -des-cbc -nopad to /dev/null (a CBC-MAC costs one CBC pass;
#             OpenSSL has no DES MAC command)
# Before timing, each cipher pair's outputs are compared byte for byte (our
# payload after the 48-byte header), so both do the same work.
#
# Wall time and peak memory come from GNU time (/usr/bin/time, Debian
# package "time"); OpenSSL's DES needs its legacy provider. The figures are
# medians; the ratio column is the median of the per-pair ratios ours/OpenSSL
# (above 1: we are slower). This is a benchmark, not a test: nothing here
# passes or fails on timing.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/bench/lib.sh"
bench_arguments "$@"
set -- "${BENCH_ARGS[@]}"
mib=${1:-256}
runs=${2:-3}

bench_require desf_bench /usr/bin/time openssl
bench_host "$top" "$nccore"

work=$(mktemp -d "${TMPDIR:-/tmp}/desf-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

ossl=(openssl enc -provider legacy -provider default)
iv=4b4c424e56527a7a  # "KLBNVRzz", the vector of the DES file jobs
NCCORE_UI=headless "$nccore" desk k.dek /NOLOGO >/dev/null
key=$(od -An -tx1 -v -j52 -N8 k.dek | tr -d ' \n')
head -c $((mib * 1048576)) /dev/urandom >src.bin
head -c $((16 * 1048576)) src.bin >small.bin

# The two command lines of a pair, in the arrays ours and theirs.
commands() {  # option, our output, cipher, OpenSSL's output
  ours=(env NCCORE_UI=headless "$nccore" desf src.bin "$2" "$1" /KEY:k.dek /Y /NOLOGO)
  theirs=("${ossl[@]}" -e "-$3" -nopad -K "$key")
  [[ $3 == des-ecb ]] || theirs+=(-iv "$iv")
  theirs+=(-in src.bin -out "$4")
}

printf 'source: %d MiB, %d runs each; nccore: %s\n' "$mib" "$runs" "$nccore"
printf '%-8s %-22s %10s %10s %8s %10s %10s\n' ours openssl "ours s" "openssl s" ratio \
  "ours MiB/s" "ossl MiB/s"

pairs=("/ECB des-ecb" "/CBC des-cbc" "/CFB:8 des-cfb" "/CFB:1 des-cfb8" "/OFB des-ofb"
       "/HASH des-cbc")
for pair in "${pairs[@]}"; do
  read -r option cipher <<<"$pair"
  out=out.enc theirs_out=theirs.enc label="-$cipher"
  [[ $option == /HASH ]] && out=out.hash theirs_out=/dev/null label="-$cipher >/dev/null"
  commands "$option" "$out" "$cipher" "$theirs_out"
  if [[ $option != /HASH ]]; then
    # Same work: our payload equals OpenSSL's output.
    "${ours[@]}" >/dev/null
    "${theirs[@]}"
    if ! cmp -s <(tail -c +49 "$out") "$theirs_out"; then
      echo "desf_bench: $option and -$cipher disagree" >&2
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
    'BEGIN { printf "%-8s %-22s %10.2f %10.2f %8.2f %10.1f %10.1f\n", o, l, a, b, r,
             (a > 0 ? m / a : 0), (b > 0 ? m / b : 0) }'
  rm -f out.enc out.hash theirs.enc
done

# Peak memory of our jobs: 16 MiB against the whole source.
echo
printf '%-8s %14s %14s\n' job "16 MiB: KiB" "$mib MiB: KiB"
for option in /CBC /D /HASH; do
  src_small=small.bin src_large=src.bin
  if [[ $option == /D ]]; then
    NCCORE_UI=headless "$nccore" desf small.bin small.enc /CBC /KEY:k.dek /Y /NOLOGO >/dev/null
    NCCORE_UI=headless "$nccore" desf src.bin src.enc /CBC /KEY:k.dek /Y /NOLOGO >/dev/null
    src_small=small.enc src_large=src.enc
  fi
  read -r _ small < <(bench_timed_memory env NCCORE_UI=headless "$nccore" desf "$src_small" out.bin "$option" \
    /KEY:k.dek /Y /NOLOGO)
  read -r _ large < <(bench_timed_memory env NCCORE_UI=headless "$nccore" desf "$src_large" out.bin "$option" \
    /KEY:k.dek /Y /NOLOGO)
  printf '%-8s %14s %14s\n' "$option" "$small" "$large"
  rm -f out.bin
done
