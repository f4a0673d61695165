#!/usr/bin/env bash
# The main job: builds the native library and host on first use (installing
# any missing Debian package), then runs `nccore` with the given arguments.
# Without arguments it demonstrates a DES round trip on a small sample in a
# temporary folder: a key (desk), encryption (desf /CBC), decryption (/D),
# comparison (/COMP) and a keyed hash (/HASH), each command shown with its
# result text.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build/release"

bash "$top/scripts/setup.sh" native
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNCCORE_TESTS=OFF >/dev/null
fi
ninja -C "$build" nccore >/dev/null
if [ $# -gt 0 ]; then
  exec "$build/nccore" "$@"
fi

# ---- the demonstration --------------------------------------------------------
work=$(mktemp -d "${TMPDIR:-/tmp}/nccore-demo.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
cat >sample.txt <<'EOF'
Съешь же ещё этих мягких французских булок, да выпей чаю.
The quick brown fox jumps over the lazy dog.
0123456789
EOF

# Shows the command, runs it; its result text follows. Stops at a failure.
step() {
  printf '\n$ nccore %s\n' "$*"
  local code=0
  "$build/nccore" "$@" || code=$?
  if [ "$code" -ne 0 ]; then
    echo "(exit code $code: the demonstration stops here)"
    exit "$code"
  fi
}

echo "DES round trip in $work on sample.txt ($(wc -c <sample.txt) bytes):"
step desk demo.dek
step desf sample.txt sample.enc /CBC /KEY:demo.dek
step desf sample.enc sample.out /D /KEY:demo.dek
step desf sample.txt sample.out /COMP
step desf sample.txt sample.hash /HASH /KEY:demo.dek
echo
for file in demo.dek sample.txt sample.enc sample.out sample.hash; do
  printf '  %-12s %5d bytes\n' "$file" "$(wc -c <"$file")"
done
cat <<EOF

The folder is removed now. To run jobs of your own:
  bash scripts/run.sh --help                                operations, options, host flags
  bash scripts/run.sh desk k.dek                            a DES key
  bash scripts/run.sh desf report.pdf report.enc /CBC /KEY:k.dek
  bash scripts/run.sh desf report.enc report.pdf /D /KEY:k.dek
EOF
