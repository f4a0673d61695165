# shellcheck shell=bash
# What the benchmark scripts share (sourced, not run).

# Takes a leading "--nccore PATH" off the script's arguments: sets `nccore`
# (empty when not given) and BENCH_ARGS to the arguments after it.
bench_arguments() {
  nccore=
  BENCH_ARGS=("$@")
  if [[ ${1:-} == --nccore ]]; then
    nccore=${2:?--nccore needs a path}
    BENCH_ARGS=("${@:3}")
  fi
}

# Stops the benchmark (exit 2) when a program it needs is missing.
bench_require() {  # benchmark's name, programs...
  local name=$1 tool
  shift
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "$name: $tool is missing" >&2; exit 2; }
  done
}

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

# Times the commands in the arrays `ours` and `theirs` RUNS times in turn
# (so that a change in the machine's load hits both alike) and prints, with
# no line end, LABEL, the medians of the wall times and of the CPU times and
# the medians of the per-pair ratios ours/theirs. The wall times of ours
# stay in a.txt.
bench_compare() {  # label, runs
  : >a.txt
  : >b.txt
  : >r.txt
  : >ca.txt
  : >cb.txt
  : >cr.txt
  local i ta tb ca cb
  for ((i = 0; i < $2; i++)); do
    read -r ta ca < <(bench_timed "${ours[@]}")
    read -r tb cb < <(bench_timed "${theirs[@]}")
    echo "$ta" >>a.txt
    echo "$tb" >>b.txt
    echo "$ca" >>ca.txt
    echo "$cb" >>cb.txt
    awk -v a="$ta" -v b="$tb" 'BEGIN { if (b > 0) print a / b }' >>r.txt
    awk -v a="$ca" -v b="$cb" 'BEGIN { if (b > 0) print a / b }' >>cr.txt
  done
  awk -v n="$1" -v a="$(median <a.txt)" -v b="$(median <b.txt)" -v r="$(median <r.txt)" \
    -v ca="$(median <ca.txt)" -v cb="$(median <cb.txt)" -v cr="$(median <cr.txt)" \
    'BEGIN { printf "%-22s %9.3f %9.3f %7.2f %9.2f %9.2f %7s", n, a, b, r, ca, cb,
             (cr == "" ? "-" : sprintf("%.2f", cr)) }'
}

# One timed run: wall seconds and peak resident KiB of the command (GNU
# time), printed as "seconds kib"; its output is discarded and a failure
# ends the benchmark.
bench_timed_memory() {
  /usr/bin/time -f '%e %M' -o time.txt "$@" >/dev/null 2>&1 || {
    echo "${0##*/}: failed: $*" >&2
    exit 1
  }
  cat time.txt
}
