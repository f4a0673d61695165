#!/usr/bin/env bash
# Whole-process timing of the Diffie-Hellman operations against OpenSSL in
# the same run, reported as ratios:
#   - `nccore dik` (a session key pair: X and Y = A^X mod P) against
#     `openssl genpkey` making a DH key of the same common numbers (one .AP
#     of a 2048-bit P, given to OpenSSL as DH parameters);
#   - `nccore dif /CBC` on a file against `openssl enc -des-cbc` under the
#     same key (K mod 2^64 of the pair and another's public key) and vector,
#     after checking that both give the same bytes.
#
#   bench/dik_bench.sh [--nccore PATH] [runs] [MiB]
#
#   --nccore PATH  the host to time (default: the Release build in
#                  build/release, configured and built first as
#                  scripts/run.sh does)
#   runs           timed runs of each command (default 15 for dik, a fifth
#                  of that, at least 3, for dif), taken in turn, ours then
#                  OpenSSL's, so a change in the machine's load hits both
#                  alike
#   MiB            size of the file dif encrypts (default 256)
#
# The work differs: OpenSSL draws a private exponent of P's length less one
# bit and raises with its own constant-time routine; ours draws X of the
# default 128 to 256 bits and raises to it padded to the range's top (8
# words), so that X's drawn length does not show. The figures are the medians of the wall times
# and of the CPU times (user + system, from GNU time, /usr/bin/time), the
# ratios the medians of the per-pair ratios ours/OpenSSL (above 1: we are
# slower). This is a benchmark, not a test: nothing here passes or fails on
# timing.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/bench/lib.sh"
bench_arguments "$@"
set -- "${BENCH_ARGS[@]}"
runs=${1:-15}
mib=${2:-256}
dif_runs=$((runs / 5 < 3 ? 3 : runs / 5))

bench_require dik_bench /usr/bin/time openssl python3
bench_host "$top" "$nccore"

work=$(mktemp -d "${TMPDIR:-/tmp}/dik-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

run() { NCCORE_UI=headless "$nccore" "$@" >/dev/null || { echo "dik_bench: nccore $* failed" >&2; exit 1; }; }

# One row: bench_compare, then the line's end.
compare() {  # label, runs
  bench_compare "$1" "$2"
  echo
}

# The common numbers, and the same A and P as OpenSSL's DH parameters.
numbers=(python3 "$top/tests/tools/dh_numbers.py")
run diap c.ap /P:2048-2048 /NOLOGO
"${numbers[@]}" dhparam c.ap dh.der
openssl dhparam -inform DER -in dh.der -out dh.pem 2>/dev/null ||
  { echo "dik_bench: OpenSSL does not take the common numbers" >&2; exit 1; }

printf 'runs: %d each (dif %d on %d MiB); nccore: %s; %s\n' "$runs" "$dif_runs" "$mib" "$nccore" \
  "$(openssl version)"
printf '%-22s %9s %9s %7s %9s %9s %7s\n' pair "ours s" "ossl s" ratio "ours cpu" "ossl cpu" ratio

ours=(env NCCORE_UI=headless "$nccore" dik /AP:c.ap /SECRET:k.dsk /PUBLIC:k.dpk /Y /NOLOGO)
theirs=(openssl genpkey -paramfile dh.pem -out k.pem)
compare "dik | genpkey DH 2048" "$runs"

# dif: a pair of each side, the key both agree on, the same bytes first.
run dik /AP:c.ap /SECRET:1.dsk /PUBLIC:1.dpk /NOLOGO
run dik /AP:c.ap /SECRET:2.dsk /PUBLIC:2.dpk /NOLOGO
key=$("${numbers[@]}" key c.ap 1.dsk 2.dpk)
head -c $((mib * 1048576)) /dev/urandom >src.bin
ours=(env NCCORE_UI=headless "$nccore" dif src.bin out.enc /CBC /AP:c.ap /SECRET:1.dsk
      /PUBLIC:2.dpk /Y /NOLOGO)
theirs=(openssl enc -provider legacy -provider default -e -des-cbc -nopad -K "$key"
        -iv 4b4c424e56527a7a -in src.bin -out theirs.enc)
"${ours[@]}" >/dev/null
"${theirs[@]}"
cmp -s <(tail -c +49 out.enc) theirs.enc || { echo "dik_bench: dif /CBC and -des-cbc disagree" >&2; exit 1; }
compare "dif /CBC | enc -des-cbc" "$dif_runs"
