#!/usr/bin/env bash
# Korvo.exe under Wine on the display xvfb-run gave this run: PREFIX RUNNER EXE
# It must start, say which audio device it found (or that there was none), show its window
# "Korvo", and end with status 0 and its files written when the window is closed (Alt+F4).
set -u
export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
runner="$2"
exe="$3"
out=$(mktemp)
backup="$WINEPREFIX/drive_c/Korvo_backup.dat"
rm -f "$backup"
fail() {
  echo "FAIL: $*"
  echo "--- Korvo.exe said:"
  grep -v '^ALSA lib' "$out"
  kill "$pid" 2>/dev/null
  wineserver -k 2>/dev/null
  rm -f "$out"
  exit 1
}
# Waits up to 60 s for a command to succeed.
until_true() {
  for _ in $(seq 1 600); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  return 1
}

"$runner" "$exe" >"$out" 2>&1 &
pid=$!
until_true grep -q '^korvo: window ' "$out" || fail "no window was reported"
grep -Eq '^korvo: Audio: (WASAPI \(|WinMM \(|none \()' "$out" || fail "no audio report"
grep -Eq '^korvo: MIDI: WinMM, [0-9]+ input' "$out" || fail "no MIDI report"
grep -E '^korvo: (Audio|MIDI):' "$out"
window=$(timeout 60 xdotool search --sync --name '^Korvo$' | head -1)
[ -n "$window" ] || fail "no window titled Korvo"
xdotool windowfocus --sync "$window" 2>/dev/null
xdotool key alt+F4
until_true bash -c "! kill -0 $pid 2>/dev/null" || fail "still running after the window was closed"
wait "$pid"
rc=$?
[ "$rc" -eq 0 ] || fail "exit status $rc"
grep -q '^korvo: closed' "$out" || fail "did not close"
[ -f "$backup" ] || fail "no backup file at $backup"
echo "Korvo.exe started, reported its audio, closed with status 0 and wrote its backup"
rm -f "$out"
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
exit 0
