# shellcheck shell=bash
# What the benchmark scripts share (sourced, not run).

# The host to time: the path given, or the Release build in build/release,
# configured and built first as scripts/run.sh does. Sets `nccore`.
bench_host() {  # top, path (may be empty)
  if [[ -n $2 ]]; then
    nccore=$(realpath "$2")
    return
  fi
  local build="$1/build/release"
  if [[ ! -f $build/build.ninja ]]; then
    cmake -S "$1" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNCCORE_TESTS=OFF >/dev/null
  fi
  ninja -C "$build" nccore >/dev/null
  nccore="$build/nccore"
}

# The median of the numbers on standard input, one a line.
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# One timed run, printed as "wall cpu": the wall seconds of the command
# (bash's microsecond clock) and its user + system seconds (GNU time,
# /usr/bin/time); its output is discarded and a failure ends the benchmark.
bench_timed() {
  local start end
  start=$EPOCHREALTIME
  /usr/bin/time -f '%U %S' -o time.txt "$@" >/dev/null 2>&1 || {
    echo "${0##*/}: failed: $*" >&2
    exit 1
  }
  end=$EPOCHREALTIME
  awk -v a="$start" -v b="$end" '{ printf "%.4f %.2f\n", b - a, $1 + $2 }' time.txt
}
