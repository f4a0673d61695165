#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang and runs each for a while.
#   fuzz/run_fuzzers.sh [seconds per fuzzer (default 120)] [build folder (default build/fuzz)]
# The committed seeds in tests/fuzz_corpus/<name>/ are read, never written;
# new inputs go to <build>/corpus/<name>/ and crashers to
# <build>/crashes/<name>/. Copy a crasher into tests/fuzz_corpus/<name>/ so
# the test suite replays it from then on. Exit status 1 when a fuzzer failed.
set -u
seconds=${1:-120}
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${2:-$repo/build/fuzz}

# clang with libFuzzer (Debian: clang and libclang-rt-14-dev), installed
# only when missing.
probe=$(mktemp -d)
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' \
  >"$probe/probe.cpp"
if ! clang++ -fsanitize=fuzzer "$probe/probe.cpp" -o "$probe/probe" 2>/dev/null; then
  apt-get install -y clang libclang-rt-14-dev || exit 1
fi
rm -rf "$probe"

CC=clang CXX=clang++ cmake -S "$repo" -B "$build" -G Ninja -DNCCORE_FUZZ=ON -DNCCORE_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
harnesses=(options data_file substitution_text settings_store profile key_file preset_password
           gost_files gosf rsaf dh_files)
ninja -C "$build" "${harnesses[@]/%/_fuzzer}" || exit 1

failed=0
for h in "${harnesses[@]}"; do
  mkdir -p "$build/corpus/$h" "$build/crashes/$h"
  dict=()
  [[ -f $repo/fuzz/$h.dict ]] && dict=(-dict="$repo/fuzz/$h.dict")
  echo "== $h: $seconds s"
  if ! "$build/fuzz/${h}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/crashes/$h/" "${dict[@]}" \
    "$build/corpus/$h" "$repo/tests/fuzz_corpus/$h" 2>"$build/$h.log"; then
    failed=1
    echo "FAIL $h: see $build/$h.log and $build/crashes/$h/"
  fi
  grep -E '^(stat::number_of_executed_units|stat::new_units_added)|cov: ' "$build/$h.log" | tail -3
done
exit $failed
