#!/usr/bin/env bash
# Creates (once) the Wine prefix the Windows integration tests run in, and puts the wave ROM
# where the Windows plug-in looks for it with its default settings (the root of drive C:).
# With --fresh as the third argument the prefix is made anew, as on a machine Korvo never saw.
set -euo pipefail
export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ "${3:-}" = "--fresh" ] && [ -d "$WINEPREFIX" ]; then
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
fi
# `wine` prefers the 32-bit loader where it is installed; where it cannot run (a kernel without
# 32-bit support), the prefix is made by the 64-bit one.
boot=(wineboot)
if [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1 && [ -x /usr/lib/wine/wine64 ]; then
  boot=(/usr/lib/wine/wine64 wineboot)
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "${boot[@]}" -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
test -f "$WINEPREFIX/system.reg"
if [ -n "${2:-}" ]; then
  cp "$2" "$WINEPREFIX/drive_c/wavrom.bin"
fi
