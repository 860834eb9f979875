#!/usr/bin/env bash
# Creates (once) the Wine prefix the Windows integration tests run in.
set -euo pipefail
export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
test -f "$WINEPREFIX/system.reg"
