#!/usr/bin/env bash
# claphost --check gui under Wine, on the display xvfb-run gave this run: PREFIX RUNNER ARGS...
# The prefix's Wine server is ended before the display goes, so that the next run (another
# display) starts a server of its own instead of meeting one bound to a display that is gone.
set -u
export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
runner="$2"
shift 2
"$runner" "$@"
rc=$?
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
exit "$rc"
