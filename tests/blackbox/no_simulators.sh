#!/usr/bin/env bash
# The shipped library and host hold no carrier simulator and no scripted
# user interface, and nothing selects simulated devices in them:
#   no_simulators.sh <nccore> <library> <nm> [wine]
# <library> is libnccore21.so or NCCORE21.DLL, <nm> the nm that reads them.
# Checks the symbols of both files, that the host refuses --carriers, and
# that the old switch NCCORE_DEVICES, pointing at a description of a Touch
# Memory device, does not open a key protected by one.
set -u
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/lib.sh"
if [[ $# -lt 3 ]]; then
  echo "usage: $0 <nccore> <library> <nm> [wine]" >&2
  exit 2
fi
library=$(cd "$(dirname "$2")" && pwd)/$(basename "$2") nm=$3
host_under_test no_simulators "$1" "${4:-native}"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/nccore-nosim.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 2

# Symbols of the test support: the simulators' classes and entry points and
# the scripted backend.
pattern='SimulatedDevices|SimulatedTouchMemory|SimulatedVtmd|SimulatedTmex|SimulatedPorts|Simulator\b|ScriptedUi|InstallDescribedDevices|SimQuadra|SimTessel|SimActivator|OneWireLine'
for file in "$NCCORE" "$library"; do
  problems=()
  symbols=$("$nm" -C "$file" 2>/dev/null)
  [[ -n $symbols ]] || problems+=("$nm reads no symbol in it")
  found=$(grep -E "$pattern" <<<"$symbols" | head -5)
  [[ -n $found ]] && problems+=("test-support symbols: $found")
  grep -q NCCORE_DEVICES "$file" && problems+=("it names NCCORE_DEVICES")
  case_verdict "$(basename "$file") holds no simulator" "${problems[@]}"
done

run() { NCCORE_UI=headless "${LAUNCHER[@]}" "$NCCORE" "$@" </dev/null >out.txt 2>err.txt; }

printf '[touchmemory]\ndriver = yes\ndevice = 01a1b2c3d4e5f6\n' >dev.txt
run --carriers dev.txt desk TM:k.dek /NOLOGO
code=$?
problems=()
((code == 1)) || problems+=("exit code $code")
grep -q "no carrier simulators" err.txt || problems+=("says: $(cat err.txt)")
[[ -e k.dek ]] && problems+=("k.dek written")
case_verdict "--carriers is refused" "${problems[@]}"

export NCCORE_DEVICES=$WORK/dev.txt
run desk TM:k.dek /NOLOGO
code=$?
problems=()
((code == 25)) || problems+=("exit code $code: $(cat out.txt)")
[[ -e k.dek ]] && problems+=("k.dek written")
case_verdict "NCCORE_DEVICES selects nothing" "${problems[@]}"

echo "no_simulators: $PASSED passed, $FAILED failed"
((FAILED == 0))
