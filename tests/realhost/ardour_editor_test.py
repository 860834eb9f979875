#!/usr/bin/env python3
"""Real-host test: Ardour 7's GUI opens the plug-in's editor under Xvfb, and the editor's window
shows exactly the headless rendering of the same editor (korvo-editor-shot compares them pixel
for pixel).

Steps, each with a time limit, everything inside a private work folder:
  1. scan the plug-in and make a session with it on a MIDI track (as ardour_test.py does);
  2. mark the plug-in's window as open in the session's GUI state (Ardour reopens the windows
     that were open when a session was saved) and drop the engine hints of the dummy backend the
     session was made with (Ardour would stop at a question about the changed device);
  3. start a JACK server with its dummy driver and Ardour's GUI with JACK as its only audio
     backend (with one backend whose server is running, Ardour asks nothing and starts it);
  4. wait for the editor inside Ardour's plug-in window and compare it with the headless picture;
     then click its next-program button (xdotool) and compare with the headless editor after the
     same click, which proves that Ardour's window passes the editor its mouse; then click into
     the name box, type a name and Return, and compare again: the keys reach the editor too.

Exits 77 (CTest's skip code) when Ardour's GUI, JACK, Xvfb or xdotool is not installed.
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ardour_test  # noqa: E402
import realhost  # noqa: E402
from realhost import log  # noqa: E402


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--plugin", required=True, help="the Linux plug-in (a release build: Ardour has no sanitizers)")
    ap.add_argument("--editor-shot", required=True, help="the korvo-editor-shot program")
    ap.add_argument("--work", required=True, help="work folder (emptied first)")
    args = ap.parse_args()

    missing = realhost.gui_tools_missing()
    if missing:
        log(f"SKIP: not installed: {', '.join(missing)} (scripts/install-deps.sh installs Ardour and JACK)")
        return realhost.SKIP
    plugin_src = os.path.abspath(args.plugin)
    if not os.path.exists(plugin_src) or not os.path.exists(args.editor_shot):
        print(f"FAIL: no plug-in at {plugin_src} or no {args.editor_shot}")
        return 1

    work = realhost.fresh_dir(os.path.abspath(args.work))
    logf = os.path.join(work, "hosts.log")
    plugin, env = realhost.lxvst_setup(plugin_src, work, {"JACK_DEFAULT_SERVER": f"korvo-{os.getpid()}"})
    realhost.korvo_settings(env)
    try:
        log("1. scan and session")
        info = ardour_test.scan(plugin, env, work, logf)
        state_path = ardour_test.create_session(os.path.join(work, ardour_test.SESSION), info["name"], env, logf)
        log("2. the plug-in's window open in the session's GUI state")
        log(f"  window {realhost.open_editor_in_session(state_path, 'lxvst')}")
        log("3./4. Ardour's GUI shows the editor")
        realhost.editor_in_ardour_gui(state_path, env, work, logf, args.editor_shot, "Korvo")
    except (ardour_test.Failure, realhost.HostError) as e:
        print(f"FAIL: {e}")
        return 1
    log("PASS: Ardour shows the editor as the headless host renders it, before and after a click and a typed name")
    return 0


if __name__ == "__main__":
    sys.exit(main())
