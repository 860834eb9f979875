#!/usr/bin/env bash
# The setup window under Wine on a virtual X server: it appears with its caption, client size
# and colours, and its picture is kept as a PNG.
#   setupWindowShot.sh WINE PREFIX KORVINST_EXE SHOT_TOOL OUT.png
set -euo pipefail
runner="$1" prefix="$2" exe="$3" shot="$4" out="$5"
work=$(mktemp -d)
xvfb_pid="" wine_pid=""
cleanup() {
  [ -n "$wine_pid" ] && kill "$wine_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
kill -0 "$xvfb_pid"  # two servers started at once may both have tried the same display
export DISPLAY=":$(cat "$work/display")"
# A Wine session left from a program started without this display would keep its desktop off
# screen: wait until the prefix's server has ended.
WINEPREFIX="$prefix" wineserver -w || true
WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" "$runner" "$exe" 2>"$work/wine.err" &
wine_pid=$!
export ASAN_OPTIONS=detect_leaks=0  # Xlib keeps its per-display data to the end
# Points of the client area: the form's background, and the face of the Install button.
if ! "$shot" "$out" "Korvo setup" 60 300 250 349 150 >"$work/probe"; then
  echo "no setup window on $DISPLAY; Wine said:"; cat "$work/wine.err"; exit 1
fi
cat "$work/probe"
grep -qx 'window.width=424' "$work/probe"   # 430 x 364 outside, less the frame and caption
grep -qx 'window.height=339' "$work/probe"
grep -qx 'pixel.300.250=22232F' "$work/probe"  # colour 3089186 as a stored colour value
! grep -qx 'pixel.349.150=22232F' "$work/probe"
