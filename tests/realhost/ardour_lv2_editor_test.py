#!/usr/bin/env python3
"""Real-host test: Ardour 7's GUI opens the LV2 bundle's own UI under Xvfb, and the UI's window
shows exactly the headless rendering of the editor (korvo-editor-shot compares them pixel for
pixel, also after a click and a typed name), as ardour_editor_test.py does for the VST 2 plug-in.

  1. a session with a MIDI track whose instrument is urn:korvo:synth (ardour7-lua, the bundle
     alone on a private LV2_PATH);
  2. the plug-in's window marked open with its own GUI in the session's GUI state;
  3. JACK (dummy driver) and Ardour's GUI under Xvfb; Ardour wraps the X11 UI in its window, and
     the editor there must equal the headless rendering.

Exits 77 (CTest's skip code) when Ardour's GUI, JACK, Xvfb or xdotool is not installed.
"""

import argparse
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ardour_lv2_test  # noqa: E402
import ardour_test  # noqa: E402
import realhost  # noqa: E402
from realhost import log  # noqa: E402


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("bundle", help="the built Korvo.lv2 (a release build: Ardour has no sanitizers)")
    ap.add_argument("--editor-shot", required=True, help="the korvo-editor-shot program")
    ap.add_argument("--work", required=True, help="work folder (emptied first)")
    args = ap.parse_args()

    missing = realhost.gui_tools_missing()
    if missing:
        log(f"SKIP: not installed: {', '.join(missing)} (scripts/install-deps.sh installs Ardour and JACK)")
        return realhost.SKIP
    if not os.path.isdir(args.bundle) or not os.path.exists(args.editor_shot):
        print(f"FAIL: no bundle at {args.bundle} or no {args.editor_shot}")
        return 1

    work = realhost.fresh_dir(os.path.abspath(args.work))
    logf = os.path.join(work, "hosts.log")
    lv2 = os.path.join(work, "lv2")
    shutil.copytree(args.bundle, os.path.join(lv2, "Korvo.lv2"))
    env = realhost.private_env(work, {"LV2_PATH": lv2, "JACK_DEFAULT_SERVER": f"korvo-{os.getpid()}"})
    env.pop("DISPLAY", None)
    realhost.korvo_settings(env)
    sess = os.path.join(work, ardour_test.SESSION)
    state_path = os.path.join(sess, ardour_test.SESSION + ".ardour")
    try:
        log("1. session with the LV2 instrument")
        ardour_lv2_test.lua(["create-lv2", sess, ardour_test.SESSION, ardour_lv2_test.URI], env, logf)
        log("2. the plug-in's window open in the session's GUI state")
        log(f"  window {realhost.open_editor_in_session(state_path, 'lv2')}")
        log("3. Ardour's GUI shows the UI")
        realhost.editor_in_ardour_gui(state_path, env, work, logf, args.editor_shot, "Korvo")
    except (ardour_test.Failure, realhost.HostError) as e:
        print(f"FAIL: {e}")
        return 1
    log("PASS: Ardour shows the LV2 UI as the headless host renders the editor, before and after a click and a "
        "typed name")
    return 0


if __name__ == "__main__":
    sys.exit(main())
