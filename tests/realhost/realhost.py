"""Shared helpers of the real-host tests: running host programs with time limits, a private
home folder per run, and asking our own host whether a plug-in makes any sound."""

import glob
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import xml.etree.ElementTree as ET

SKIP = 77  # CTest's SKIP_RETURN_CODE for these tests
KORVO_RECORD = 544  # bytes of one Korvo sound record: the plug-in's chunk
LIBRARY_HEADER = 20  # bytes before the first record of a Korvo library file
ARDOUR_LIB = "/usr/lib/ardour7"
EDITOR_LIMIT = 90  # seconds for Ardour's GUI to start and show a plug-in's editor; it takes 10 to 20


def log(msg):
    print(msg, flush=True)


class HostError(Exception):
    pass


def fresh_dir(path):
    if os.path.exists(path):
        shutil.rmtree(path)
    os.makedirs(path)
    return path


def private_env(work, extra=None):
    """The environment of one run: home, configuration and caches inside the work folder, so
    that hosts and plug-ins neither read nor leave anything in the real home."""
    home = os.path.join(work, "home")
    env = dict(os.environ)
    env.update({
        "HOME": home,
        "XDG_CONFIG_HOME": os.path.join(home, ".config"),
        "XDG_CACHE_HOME": os.path.join(home, ".cache"),
        "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
        "XDG_RUNTIME_DIR": os.path.join(work, "run"),
    })
    for d in ("XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"):
        os.makedirs(env[d], mode=0o700, exist_ok=True)
    env.update(extra or {})
    return env


def run(cmd, env, timeout, log_path=None, cwd=None):
    """Runs cmd, returns (exit code, combined output). A time-out is an exit code of None; the
    log then also gets the stuck program's thread backtraces when gdb is there to take them."""
    t0 = time.monotonic()
    p = subprocess.Popen(cmd, env=env, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT)
    try:
        out, _ = p.communicate(timeout=timeout)
        code, text = p.returncode, out.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        stacks = backtraces(p.pid)
        p.kill()
        out, _ = p.communicate()
        code = None
        text = out.decode("utf-8", "replace") + f"\n[timed out after {timeout} s]\n" + stacks
    took = time.monotonic() - t0
    if log_path:
        with open(log_path, "a") as f:
            f.write(f"$ {' '.join(cmd)}\n{text}\n[exit {code}, {took:.1f} s]\n\n")
    log(f"  {os.path.basename(cmd[0])}: exit {code}, {took:.1f} s")
    return code, text


def backtraces(pid):
    gdb = shutil.which("gdb")
    if not gdb:
        return ""
    try:
        p = subprocess.run([gdb, "-p", str(pid), "-batch", "-ex", "thread apply all bt"], stdin=subprocess.DEVNULL,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)
        return "[backtraces]\n" + p.stdout.decode("utf-8", "replace")
    except (OSError, subprocess.TimeoutExpired):
        return ""


def copy_dated(src, dst_dir, age_seconds=60):
    """Copies a plug-in binary and dates it back: scan caches keep whole-second file times, and
    a file changed in the same second as its scan counts as changed since."""
    os.makedirs(dst_dir, exist_ok=True)
    dst = os.path.join(dst_dir, os.path.basename(src))
    shutil.copyfile(src, dst)
    os.chmod(dst, 0o755)
    t = time.time() - age_seconds
    os.utime(dst, (t, t))
    return dst


def install_product_folder(data, plugin):
    """Puts the plug-in's product folder (data/ and user/: wave ROM, backup, factory library)
    beside the copied plug-in, named after it, as the installer lays it out. Returns its path."""
    dst = os.path.join(os.path.dirname(plugin), os.path.splitext(os.path.basename(plugin))[0])
    if not os.path.isdir(data):
        raise HostError(f"no product folder at {data}")
    shutil.copytree(data, dst)
    return dst


def plugin_peak(vsthost, plugin, key=60, runner=None, env=None, timeout=120):
    """Peak level our own host gets from the plug-in for one second of a note, or None when the
    host cannot tell (missing, failed)."""
    if not vsthost or not os.path.exists(vsthost):
        return None
    cmd = ([runner] if runner else []) + [vsthost, "--note", f"{key}", "--seconds", "1", plugin]
    try:
        p = subprocess.run(cmd, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, timeout=timeout)
    except (OSError, subprocess.TimeoutExpired):
        return None
    m = re.search(r"^render\.peak=([0-9.eE+-]+)", p.stdout.decode("utf-8", "replace"), re.M)
    return float(m.group(1)) if m else None


def wavcheck(wav, args, log_path=None):
    """Runs the WAV checker; returns True when every requested check passed."""
    here = os.path.dirname(os.path.abspath(__file__))
    cmd = [sys.executable, os.path.join(here, "wavcheck.py"), wav] + args
    p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    out = p.stdout.decode("utf-8", "replace")
    for line in out.splitlines():
        log(f"    {line}")
    if log_path:
        with open(log_path, "a") as f:
            f.write(f"$ {' '.join(cmd)}\n{out}\n")
    return p.returncode == 0


def sound_checks_wanted(mode, peak, what):
    """Decides whether the checks that need sound run: 'on' always, 'off' never, 'auto' when
    our own host hears the plug-in. Returns (wanted, reason)."""
    if mode == "on":
        return True, "sound checks required"
    if mode == "off":
        return False, "sound checks switched off"
    if peak is None:
        return True, f"our host could not render {what}: sound checks stay on"
    if peak <= 0.0:
        return False, f"{what} renders silence in our own host (render.peak=0)"
    return True, f"{what} sounds in our own host (render.peak={peak:g})"


def chunk_from_text(korvo_patch, text, work, logf=None):
    """The Korvo chunk of a sound written in text form: korvo-patch makes a library file of it,
    whose first record is the chunk image."""
    if not korvo_patch:
        raise HostError("a sound text needs the korvo-patch tool")
    library = os.path.join(work, os.path.splitext(os.path.basename(text))[0] + ".kvl")
    if os.path.exists(library):
        os.remove(library)
    code, _ = run([korvo_patch, "convert", text, library], None, 60, logf)
    if code != 0 or not os.path.exists(library):
        raise HostError(f"korvo-patch could not convert {text}")
    with open(library, "rb") as f:
        data = f.read()
    if len(data) != LIBRARY_HEADER + 128 * KORVO_RECORD:
        raise HostError(f"korvo-patch wrote a library of {len(data)} bytes")
    return data[LIBRARY_HEADER:LIBRARY_HEADER + KORVO_RECORD]


def add_host_args(ap, plugin_help, vsthost_help, data_help, release):
    """The options of the tests that play the test note in a host: the plug-in, the work folder,
    our own host and the product folder, and what the sound checks expect."""
    ap.add_argument("--plugin", required=True, help=plugin_help)
    ap.add_argument("--work", required=True, help="work folder (emptied first)")
    ap.add_argument("--vsthost", help=vsthost_help)
    ap.add_argument("--data", help=data_help)
    ap.add_argument("--key", type=int, default=60)
    ap.add_argument("--sound", choices=["auto", "on", "off"], default="auto")
    ap.add_argument("--sound-env", action="store_true",
                    help="KORVO_REALHOST_SOUND in the environment (auto, on, off) overrides --sound")
    ap.add_argument("--require-sound", action="store_true",
                    help="exit 77 (skip) when the sound checks would be skipped")
    ap.add_argument("--tol-cents", type=float, default=5.0)
    ap.add_argument("--peak-db", type=float, help="expected peak level of the held note in dBFS (within 1 dB)")
    ap.add_argument("--release", type=float, default=release, help="seconds after the note-off to silence")


def start(args, tools, install_hint):
    """What every host test does first: --sound-env applied, the plug-in and the host programs
    looked for, the work folder emptied. Returns (plug-in path, work folder, host log), or None
    after printing why the test fails."""
    if args.sound_env and os.environ.get("KORVO_REALHOST_SOUND") in ("auto", "on", "off"):
        args.sound = os.environ["KORVO_REALHOST_SOUND"]
    plugin_src = os.path.abspath(args.plugin)
    if not os.path.exists(plugin_src):
        print(f"FAIL: no plug-in at {plugin_src}")
        return None
    for tool in tools:
        if not shutil.which(tool):
            print(f"FAIL: {tool} is not installed ({install_hint})")
            return None
    work = fresh_dir(os.path.abspath(args.work))
    return plugin_src, work, os.path.join(work, "hosts.log")


def lxvst_setup(plugin_src, work, extra=None):
    """A Linux host's view of the plug-in: a dated copy in work/vst, found through LXVST_PATH and
    VST_PATH, and a private environment without a display. Returns (plug-in copy, environment)."""
    vst_dir = os.path.join(work, "vst")
    plugin = copy_dated(plugin_src, vst_dir)
    env = private_env(work, dict({"LXVST_PATH": vst_dir, "VST_PATH": vst_dir}, **(extra or {})))
    env.pop("DISPLAY", None)
    return plugin, env


def note_checks(note, length_tol):
    """wavcheck's checks of the rendered test note's length and timing."""
    return ["--length", str(note.end_seconds), "--length-tol", length_tol,
            "--note-on", str(note.on_seconds), "--note-off", str(note.off_seconds)]


def sound_checks(args):
    """wavcheck's checks that need sound: pitch, release and (when given) the peak level."""
    checks = ["--sound", "--key", str(args.key), "--tol-cents", str(args.tol_cents), "--release", str(args.release)]
    if args.peak_db is not None:
        checks += ["--peak-db", str(args.peak_db)]
    return checks


# Ardour's GUI under Xvfb with a JACK server on its dummy driver, opening a plug-in's editor.

def ardour_gui():
    found = sorted(glob.glob(os.path.join(ARDOUR_LIB, "ardour-7*")))
    return found[0] if found else None


def gui_tools_missing():
    """What the GUI tests need and this machine lacks (they are skipped then)."""
    return [n for n, ok in (("Ardour's GUI", ardour_gui()), ("jackd", shutil.which("jackd")),
                            ("Xvfb", shutil.which("Xvfb")), ("xdotool", shutil.which("xdotool")),
                            ("ardour7-lua", shutil.which("ardour7-lua")),
                            ("the JACK backend",
                             os.path.exists(os.path.join(ARDOUR_LIB, "backends", "libjack_audiobackend.so"))))
            if not ok]


def korvo_settings(env):
    """Settings with an empty product folder, so the plug-in in the host and the headless
    reference (which reads the same settings) both run on the built-in data."""
    folder = os.path.join(env["HOME"], "korvo")
    os.makedirs(os.path.join(env["XDG_CONFIG_HOME"], "Korvo"))
    os.makedirs(folder)
    with open(os.path.join(env["XDG_CONFIG_HOME"], "Korvo", "settings.conf"), "w") as f:
        f.write(f"path_data={folder}\npath_user={folder}\npath_dll={folder}\n")


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
    raise HostError("Xvfb did not start on any display number")


def open_editor_in_session(state_path, processor_type):
    """Marks the window of the session's one plug-in of that type ('lxvst', 'lv2') as open with
    the plug-in's own GUI in the session's GUI state, and removes the engine hints. Returns the
    window's name."""
    tree = ET.parse(state_path)
    root = tree.getroot()
    procs = [p for p in root.iter("Processor") if p.get("type") == processor_type]
    if len(procs) != 1:
        raise HostError(f"the session holds {len(procs)} {processor_type} processors, expected 1")
    proc = procs[0]
    route = next((r for r in root.find("Routes") if any(p is proc for p in r.iter("Processor"))), None)
    if route is None:
        raise HostError("the plug-in's processor belongs to no route")
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


def editor_in_ardour_gui(state_path, env, work, logf, editor_shot, title):
    """Starts Xvfb, a JACK server (dummy driver) and Ardour's GUI on the session, whose GUI state
    opens the plug-in's window, and lets korvo-editor-shot compare the editor in the window titled
    `title` with the headless rendering (at first, after a click, after a typed name). env needs
    JACK_DEFAULT_SERVER. Raises HostError when it differs or never shows."""
    xvfb = jack = ardour = None
    try:
        log("  JACK (dummy driver) and Ardour's GUI under Xvfb")
        xvfb, display = start_xvfb(work)
        env = dict(env, DISPLAY=display, JACK_NO_AUDIO_RESERVATION="1")
        jack = subprocess.Popen(["jackd", "--no-realtime", "-d", "dummy", "-r", "48000", "-p", "1024"], env=env,
                                stdin=subprocess.DEVNULL, stdout=open(os.path.join(work, "jackd.log"), "w"),
                                stderr=subprocess.STDOUT)
        code, _ = run(["jack_wait", "-w", "-t", "20"], env, 30, logf)
        if code != 0:
            raise HostError("the JACK server did not start")
        config = os.path.join(env["XDG_CONFIG_HOME"], "ardour7")
        os.makedirs(config, exist_ok=True)
        open(os.path.join(config, ".a7"), "w").close()  # not a first start: no welcome wizard
        gui_env = dict(env, GTK_PATH=f"/etc/ardour7:{ARDOUR_LIB}", LD_LIBRARY_PATH=ARDOUR_LIB,
                       ARDOUR_DATA_PATH="/usr/share/ardour7", ARDOUR_CONFIG_PATH="/etc/ardour7",
                       ARDOUR_DLL_PATH=jack_only_dll_dir(work), UBUNTU_MENUPROXY="")
        t0 = time.monotonic()
        ardour = subprocess.Popen([ardour_gui(), "--no-splash", "--no-announcements", state_path], env=gui_env,
                                  cwd=work, stdin=subprocess.DEVNULL,
                                  stdout=open(os.path.join(work, "ardour.log"), "w"), stderr=subprocess.STDOUT)
        log("  the editor in Ardour's plug-in window against the headless rendering")
        code, out = run([editor_shot, work, title, str(EDITOR_LIMIT)], env, EDITOR_LIMIT + 30, logf)
        log(f"  {out.strip()} ({time.monotonic() - t0:.1f} s after Ardour started)")
        if ardour.poll() is not None:
            raise HostError(f"Ardour ended (exit {ardour.returncode}); see ardour.log")
        if code == 2:
            raise HostError("Ardour showed no editor window (see ardour.log)")
        if code != 0:
            raise HostError("the editor in Ardour differs from the headless rendering, at first, after the click or "
                            f"after the typed name (editor-host*.png and editor-headless*.png in {work})")
    finally:
        stop(ardour, "Ardour")
        stop(jack, "jackd")
        stop(xvfb, "Xvfb")
