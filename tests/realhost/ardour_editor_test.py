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
import glob
import os
import shutil
import signal
import subprocess
import sys
import time
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ardour_test  # noqa: E402
import realhost  # noqa: E402
from realhost import log  # noqa: E402

ARDOUR_LIB = "/usr/lib/ardour7"
EDITOR_LIMIT = 90  # seconds for Ardour to start and show the editor; it takes 10 to 20


def ardour_gui():
    found = sorted(glob.glob(os.path.join(ARDOUR_LIB, "ardour-7*")))
    return found[0] if found else None


def start_xvfb(work):
    """An Xvfb on a display number of its own, taking connections; returns (process, ':N'). Not
    -displayfd: such a server takes no lock file, so two starting at once may share a display.
    Xvfb :N takes /tmp/.XN-lock atomically and writes its pid there."""
    log_file = open(os.path.join(work, "xvfb.log"), "w")
    first = 100 + os.getpid() % 400
    for n in range(first, first + 40):
        p = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                             stdin=subprocess.DEVNULL, stdout=log_file, stderr=subprocess.STDOUT)
        for _ in range(100):
            if p.poll() is not None:
                break  # the number is taken
            try:
                with open(f"/tmp/.X{n}-lock") as f:
                    owner = int(f.read().strip() or 0)
            except (OSError, ValueError):
                owner = 0
            # Ours, and taking connections (xdotool is one more client).
            if owner == p.pid and subprocess.run(["xdotool", "getdisplaygeometry"], env=dict(os.environ, DISPLAY=f":{n}"),
                                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0:
                return p, f":{n}"
            time.sleep(0.05)
        if p.poll() is None:
            p.kill()
            p.wait()
    raise ardour_test.Failure("Xvfb did not start on any display number")


def open_editor_in_session(state_path):
    """Marks the plug-in's window as open (custom GUI) in the session's GUI state and removes the
    engine hints. Returns the window's name."""
    tree = ET.parse(state_path)
    root = tree.getroot()
    proc = ardour_test.lxvst_processor(root)
    route = next((r for r in root.find("Routes") if any(p is proc for p in r.iter("Processor"))), None)
    if route is None:
        raise ardour_test.Failure("the plug-in's processor belongs to no route")
    name = f"P-{route.get('id')}-{proc.get('id')}"
    for hints in root.findall("EngineHints"):
        root.remove(hints)
    extra = root.find("Extra")
    if extra is None:
        extra = ET.SubElement(root, "Extra")
    ui = extra.find("UI")
    if ui is None:
        ui = ET.SubElement(extra, "UI")
    ET.SubElement(ui, "Window", {"name": name, "visible": "1", "x-off": "0", "y-off": "0", "custom-ui": "1"})
    tree.write(state_path, encoding="UTF-8", xml_declaration=True)
    return name


def jack_only_dll_dir(work):
    """Ardour's library folder with the JACK backend as its only audio backend."""
    dll = os.path.join(work, "ardour-lib")
    os.makedirs(os.path.join(dll, "backends"))
    for entry in os.listdir(ARDOUR_LIB):
        if entry != "backends":
            os.symlink(os.path.join(ARDOUR_LIB, entry), os.path.join(dll, entry))
    os.symlink(os.path.join(ARDOUR_LIB, "backends", "libjack_audiobackend.so"),
               os.path.join(dll, "backends", "libjack_audiobackend.so"))
    return dll


def stop(p, name):
    if p is None or p.poll() is not None:
        return
    p.send_signal(signal.SIGTERM)
    try:
        p.wait(10)
    except subprocess.TimeoutExpired:
        log(f"  {name} ignored SIGTERM; killed")
        p.kill()
        p.wait()


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--plugin", required=True, help="the Linux plug-in (a release build: Ardour has no sanitizers)")
    ap.add_argument("--editor-shot", required=True, help="the korvo-editor-shot program")
    ap.add_argument("--work", required=True, help="work folder (emptied first)")
    args = ap.parse_args()

    gui = ardour_gui()
    missing = [n for n, ok in (("Ardour's GUI", gui), ("jackd", shutil.which("jackd")), ("Xvfb", shutil.which("Xvfb")),
                               ("xdotool", shutil.which("xdotool")),
                               ("ardour7-lua", shutil.which("ardour7-lua")),
                               ("the JACK backend", os.path.exists(os.path.join(ARDOUR_LIB, "backends", "libjack_audiobackend.so"))))
               if not ok]
    if missing:
        log(f"SKIP: not installed: {', '.join(missing)} (scripts/install-deps.sh installs Ardour and JACK)")
        return realhost.SKIP
    plugin_src = os.path.abspath(args.plugin)
    if not os.path.exists(plugin_src) or not os.path.exists(args.editor_shot):
        print(f"FAIL: no plug-in at {plugin_src} or no {args.editor_shot}")
        return 1

    work = realhost.fresh_dir(os.path.abspath(args.work))
    logf = os.path.join(work, "hosts.log")
    server = f"korvo-{os.getpid()}"
    plugin, env = realhost.lxvst_setup(plugin_src, work, {"JACK_DEFAULT_SERVER": server,
                                                          "JACK_NO_AUDIO_RESERVATION": "1"})
    # The plug-in in Ardour and the headless reference read the same settings: an empty product
    # folder, so both run on the built-in data.
    folder = os.path.join(work, "korvo")
    os.makedirs(os.path.join(env["XDG_CONFIG_HOME"], "Korvo"))
    os.makedirs(folder)
    with open(os.path.join(env["XDG_CONFIG_HOME"], "Korvo", "settings.conf"), "w") as f:
        f.write(f"path_data={folder}\npath_user={folder}\npath_dll={folder}\n")

    xvfb = jack = ardour = None
    try:
        log("1. scan and session")
        info = ardour_test.scan(plugin, env, work, logf)
        state_path = ardour_test.create_session(os.path.join(work, ardour_test.SESSION), info["name"], env, logf)
        log("2. the plug-in's window open in the session's GUI state")
        log(f"  window {open_editor_in_session(state_path)}")

        log("3. JACK (dummy driver) and Ardour's GUI under Xvfb")
        xvfb, display = start_xvfb(work)
        env["DISPLAY"] = display
        jack = subprocess.Popen(["jackd", "--no-realtime", "-d", "dummy", "-r", "48000", "-p", "1024"], env=env,
                                stdin=subprocess.DEVNULL, stdout=open(os.path.join(work, "jackd.log"), "w"),
                                stderr=subprocess.STDOUT)
        code, _ = realhost.run(["jack_wait", "-w", "-t", "20"], env, 30, logf)
        if code != 0:
            raise ardour_test.Failure("the JACK server did not start")
        config = os.path.join(env["XDG_CONFIG_HOME"], "ardour7")
        os.makedirs(config, exist_ok=True)
        open(os.path.join(config, ".a7"), "w").close()  # not a first start: no welcome wizard
        gui_env = dict(env, GTK_PATH=f"/etc/ardour7:{ARDOUR_LIB}", LD_LIBRARY_PATH=ARDOUR_LIB,
                       ARDOUR_DATA_PATH="/usr/share/ardour7", ARDOUR_CONFIG_PATH="/etc/ardour7",
                       ARDOUR_DLL_PATH=jack_only_dll_dir(work), UBUNTU_MENUPROXY="")
        t0 = time.monotonic()
        ardour = subprocess.Popen([gui, "--no-splash", "--no-announcements", state_path], env=gui_env, cwd=work,
                                  stdin=subprocess.DEVNULL, stdout=open(os.path.join(work, "ardour.log"), "w"),
                                  stderr=subprocess.STDOUT)

        log("4. the editor in Ardour's plug-in window against the headless rendering")
        code, out = realhost.run([args.editor_shot, work, "Korvo", str(EDITOR_LIMIT)], env, EDITOR_LIMIT + 30, logf)
        log(f"  {out.strip()} ({time.monotonic() - t0:.1f} s after Ardour started)")
        if ardour.poll() is not None:
            raise ardour_test.Failure(f"Ardour ended (exit {ardour.returncode}); see ardour.log")
        if code == 2:
            raise ardour_test.Failure("Ardour showed no editor window (see ardour.log)")
        if code != 0:
            raise ardour_test.Failure("the editor in Ardour differs from the headless rendering, at first, after the "
                                      "click or after the typed name "
                                      f"(editor-host*.png and editor-headless*.png in {work})")
    except (ardour_test.Failure, realhost.HostError) as e:
        print(f"FAIL: {e}")
        return 1
    finally:
        stop(ardour, "Ardour")
        stop(jack, "jackd")
        stop(xvfb, "Xvfb")
    log("PASS: Ardour shows the editor as the headless host renders it, before and after a click and a typed name")
    return 0


if __name__ == "__main__":
    sys.exit(main())
