#!/usr/bin/env bash
# Screenshots of the library's windows under Wine: the dialog tests that
# stop at a window (the progress window, the generator's window, the carrier
# dialog) run in Wine's own desktop of 800x480, so the windows have their
# frames and captions; each time the test asks (<name>.want in the folder),
# the screen is taken with ImageMagick's `import` into <name>.png.
#   dialog_shots.sh <dialog_tests.exe> <folder>
# Needs an X display (the suite runs under xvfb-run) and the Wine
# environment of the dialog tests (WINE, WINEPREFIX, the Russian locale).
set -euo pipefail
exe=$1 out=$2
: "${DISPLAY:?an X display is needed}"
: "${WINE:?WINE must name the Wine loader}"
mkdir -p "$out"
rm -f "$out"/*.want "$out"/*.png "$out"/shots.xml

shots=(progress generator carrier)
filter='ProgressWindow.ControlsWhileRunning*:GeneratorWindow.*:CarrierDialog.PasswordOnly*'
NCCORE_SHOT_DIR="Z:$out" "$WINE" explorer /desktop=nccore,800x480 "$exe" \
  --gtest_filter="$filter" --gtest_output="xml:Z:$out/shots.xml" >"$out/shots.log" 2>&1 &
desktop=$!

status=0
for ((i = 0; i < 6000; i++)); do  # at most 10 minutes
  for want in "$out"/*.want; do
    [[ -e $want ]] || continue
    sleep 0.5  # the window's last paint
    name=$(basename "$want" .want)
    import -window root -crop 800x480+0+0 +repage "$out/$name.png"
    rm -f "$want"
  done
  [[ -s $out/shots.xml ]] && break
  sleep 0.1
done
sleep 0.5
kill "$desktop" 2>/dev/null || true
wait "$desktop" 2>/dev/null || true

# The totals are on the first element, <testsuites ...>.
if [[ ! -s $out/shots.xml ]] || ! grep -q '<testsuites [^>]*failures="0"' "$out/shots.xml" ||
   ! grep -q '<testsuites [^>]*errors="0"' "$out/shots.xml"; then
  echo "dialog_shots: the tests did not pass in the desktop:" >&2
  cat "$out/shots.log" >&2 || true
  status=1
fi
for name in "${shots[@]}"; do
  if [[ ! -s $out/$name.png ]]; then
    echo "dialog_shots: no picture of the $name window" >&2
    status=1
  fi
done
((status == 0)) && echo "dialog_shots: ${shots[*]} in $out"
exit $status
