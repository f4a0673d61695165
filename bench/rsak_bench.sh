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
source "$top/bench/lib.sh"
bench_arguments "$@"
set -- "${BENCH_ARGS[@]}"
runs=${1:-15}

bench_require rsak_bench /usr/bin/time openssl
bench_host "$top" "$nccore"

work=$(mktemp -d "${TMPDIR:-/tmp}/rsak-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

printf 'runs: %d each; nccore: %s; %s\n' "$runs" "$nccore" "$(openssl version)"
printf '%-22s %9s %9s %7s %9s %9s %7s %9s %9s\n' bits "ours s" "ossl s" ratio "ours cpu" \
  "ossl cpu" ratio "ours min" "ours max"

for bits in 2048 1024; do
  ours=(env NCCORE_UI=headless "$nccore" rsak "/N:$bits-$bits" /SECRET:k.rsk /PUBLIC:k.rpk /Y
        /NOLOGO)
  theirs=(openssl genpkey -algorithm RSA -pkeyopt "rsa_keygen_bits:$bits" -out k.pem)
  bench_compare "$bits" "$runs"
  printf ' %9.3f %9.3f\n' "$(sort -g a.txt | head -1)" "$(sort -g a.txt | tail -1)"
  rm -f k.rsk k.rpk k.pem
done
