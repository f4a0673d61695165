#!/usr/bin/env bash
# Wiener's attack (tests/tools/wiener_attack.py) against RSA key pairs:
#   (a) pairs made by the short-exponent rule (a 1024-bit N, E random of
#       256..258 bits, D = E^-1 mod phi), built in Python: E is recovered;
#   (b) pairs made by `nccore rsak /N:1024-1024 /NOLOGO`, attacked from the
#       .RPK alone: E is not recovered. The attack's reading of the files is
#       checked first: the .RSK's E is the secret exponent of the .RPK's D.
#
#   rsak_wiener.sh <path-to-nccore> [wine]
#
# One line is printed per failing case; the exit status is 1 when any case
# failed.

set -u

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/lib.sh"
host_under_test rsak_wiener "$@"
require_tools rsak_wiener python3
ATTACK=$HERE/../tools/wiener_attack.py

WORK=$(mktemp -d "${TMPDIR:-/tmp}/nccore-rsak-wiener.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 2

nccore() { NCCORE_UI=headless "${LAUNCHER[@]}" "$NCCORE" "$@" </dev/null; }

# (a) The short-exponent rule is broken.
for round in 1 2 3; do
  problems=()
  read -r n d e < <(python3 "$ATTACK" weak-pair 1024)
  out=$(python3 "$ATTACK" numbers "$n" "$d")
  code=$?
  ((code == 0)) || problems+=("attack exit $code: $out")
  [[ $out == "recovered E=$e" ]] || problems+=("got '$out', E is $e")
  case_verdict "short-exponent pair $round: E recovered" "${problems[@]}"
done

# (b) The generator's pairs are not.
for round in 1 2; do
  problems=()
  if ! nccore rsak /N:1024-1024 /SECRET:k.rsk /PUBLIC:k.rpk /NOLOGO /Y >out.txt 2>&1; then
    fail "generated pair $round" "rsak failed: $(tr -d '\r' <out.txt)"
    continue
  fi
  # The attack's reader on these files: N of 1024 bits, and the .RSK's E
  # (read the same way) undoes the .RPK's D.
  check=$(python3 - "$ATTACK" <<'PY'
import importlib.util, sys
spec = importlib.util.spec_from_file_location("wiener_attack", sys.argv[1])
w = importlib.util.module_from_spec(spec)
spec.loader.exec_module(w)
n, d = w.read_public_key("k.rpk")
secret = open("k.rsk", "rb").read()
n2, e = w.blocks(secret, 48, 2)
if n2 != n or n.bit_length() != 1024:
    print("N differs or has %d bits" % n.bit_length())
elif not w.is_secret_exponent(n, d, e):
    print("the .RSK's E is not the secret exponent of the .RPK's D")
elif e.bit_length() < 512:
    print("E has %d bits" % e.bit_length())
PY
  )
  [[ -z $check ]] || problems+=("$check")
  out=$(python3 "$ATTACK" rpk k.rpk)
  code=$?
  ((code == 1)) || problems+=("attack exit $code: $out")
  case_verdict "generated pair $round: E not recovered" "${problems[@]}"
done

all_passed rsak_wiener
