#!/usr/bin/env bash
# Whole-process timing of `nccore rsak` against `openssl genpkey` making RSA
# keys of the same modulus length in the same run, reported as ratios.
#
#   bench/rsak_bench.sh [--nccore PATH] [runs]
#
#   --nccore PATH  the host to time (default: the Release build in
#                  build/release, configured and built first as
#                  scripts/run.sh does)
#   runs           timed runs of each command (default 15), taken in turn,
#                  ours then OpenSSL's, so a change in the machine's load
#                  hits both alike
#
# Pairs (keys written to files in the same folder):
#   rsak /N:2048-2048 /NOLOGO | genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048
#   rsak /N:1024-1024 /NOLOGO | genpkey ... rsa_keygen_bits:1024
# The work is not identical: both search two primes of half the length, but
# OpenSSL's public exponent is 65537 and its secret one follows, while ours
# draws a secret exponent of at least half the modulus's length and
# inverts it. Key generation time varies a lot from run to run (the prime
# search is random), hence many runs and medians: the figures are the
# medians of the wall times and of the CPU times (user + system, from GNU
# time, /usr/bin/time; on a shared machine the CPU time is the steadier
# one), the ratios the medians of the per-pair ratios ours/OpenSSL (above 1:
# we are slower). This is a benchmark, not a test: nothing here passes or
# fails on timing.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
nccore=
if [[ ${1:-} == --nccore ]]; then
  nccore=$(realpath "$2")
  shift 2
fi
runs=${1:-15}

for tool in /usr/bin/time openssl; do
  command -v "$tool" >/dev/null || { echo "rsak_bench: $tool is missing" >&2; exit 2; }
done
if [[ -z $nccore ]]; then
  build="$top/build/release"
  if [[ ! -f $build/build.ninja ]]; then
    cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNCCORE_TESTS=OFF >/dev/null
  fi
  ninja -C "$build" nccore >/dev/null
  nccore="$build/nccore"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/rsak-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# One timed run, printed as "wall cpu": the wall seconds of the command
# (bash's microsecond clock) and its user + system seconds (GNU time); its
# output is discarded and a failure ends the benchmark.
timed() {
  local start end
  start=$EPOCHREALTIME
  /usr/bin/time -f '%U %S' -o time.txt "$@" >/dev/null 2>&1 || {
    echo "rsak_bench: failed: $*" >&2
    exit 1
  }
  end=$EPOCHREALTIME
  awk -v a="$start" -v b="$end" '{ printf "%.4f %.2f\n", b - a, $1 + $2 }' time.txt
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

printf 'runs: %d each; nccore: %s; %s\n' "$runs" "$nccore" "$(openssl version)"
printf '%-6s %9s %9s %7s %9s %9s %7s %9s %9s\n' bits "ours s" "ossl s" ratio "ours cpu" \
  "ossl cpu" ratio "ours min" "ours max"

for bits in 2048 1024; do
  ours=(env NCCORE_UI=headless "$nccore" rsak "/N:$bits-$bits" /SECRET:k.rsk /PUBLIC:k.rpk /Y
        /NOLOGO)
  theirs=(openssl genpkey -algorithm RSA -pkeyopt "rsa_keygen_bits:$bits" -out k.pem)
  : >a.txt
  : >b.txt
  : >r.txt
  : >ca.txt
  : >cb.txt
  : >cr.txt
  for ((i = 0; i < runs; i++)); do
    read -r ta ca < <(timed "${ours[@]}")
    read -r tb cb < <(timed "${theirs[@]}")
    echo "$ta" >>a.txt
    echo "$tb" >>b.txt
    echo "$ca" >>ca.txt
    echo "$cb" >>cb.txt
    awk -v a="$ta" -v b="$tb" 'BEGIN { if (b > 0) print a / b }' >>r.txt
    awk -v a="$ca" -v b="$cb" 'BEGIN { if (b > 0) print a / b }' >>cr.txt
  done
  lo=$(sort -g a.txt | head -1)
  hi=$(sort -g a.txt | tail -1)
  awk -v n="$bits" -v a="$(median <a.txt)" -v b="$(median <b.txt)" -v r="$(median <r.txt)" \
    -v ca="$(median <ca.txt)" -v cb="$(median <cb.txt)" -v cr="$(median <cr.txt)" \
    -v lo="$lo" -v hi="$hi" \
    'BEGIN { printf "%-6s %9.3f %9.3f %7.2f %9.2f %9.2f %7s %9.3f %9.3f\n", n, a, b, r, ca, cb,
             (cr == "" ? "-" : sprintf("%.2f", cr)), lo, hi }'
  rm -f k.rsk k.rpk k.pem
done
