#!/usr/bin/env python3
"""Real-host test: Ardour 7 (headless, dummy backend) with the LV2 bundle.

Everything inside a private work folder, the bundle copied into an LV2 folder of its own:
  1. a session with a MIDI track whose instrument is urn:korvo:synth (ardour7-lua);
  2. the test note as a MIDI region, exported with ardour7-export: it must sound;
  3. oscillator 1's level set from Lua to its minimum, exported; then to its maximum, exported:
     the two renders must differ;
  4. the session opened and saved again (the plug-in gets its state back from Ardour and is asked
     for it anew), exported: the render must equal the one before, and the session's state must
     hold the edit buffer record.
"""

import argparse
import glob
import os
import shutil
import sys
import wave

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ardour_test  # noqa: E402
import realhost  # noqa: E402
import testnote  # noqa: E402
from realhost import log  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SESSION = ardour_test.SESSION
URI = "urn:korvo:synth"


def lua(args, env, logf, tries=5):
    """ardour7-lua exits 0 even when its script fails, and now and then aborts: retried until the
    script's marker line appears."""
    for attempt in range(1, tries + 1):
        code, out = realhost.run(["ardour7-lua", os.path.join(HERE, "ardour_session.lua")] + args, env, 180, logf)
        if "KORVO-REALHOST-OK" in out:
            return
        log(f"  attempt {attempt}: {args[0]} failed ({out.strip().splitlines()[-1:] or ['no output']})")
    raise ardour_test.Failure(f"ardour7-lua {args[0]} failed {tries} times")


def samples(path):
    with wave.open(path) as w:
        width, channels, frames = w.getsampwidth(), w.getnchannels(), w.readframes(w.getnframes())
    if width != 2:
        raise ardour_test.Failure(f"{path}: {8 * width}-bit samples, expected 16")
    return [int.from_bytes(frames[i:i + 2], "little", signed=True) / 32768.0 for i in range(0, len(frames), 2 * channels)]


def rms(xs):
    return (sum(x * x for x in xs) / len(xs)) ** 0.5 if xs else 0.0


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("bundle", help="the built Korvo.lv2")
    ap.add_argument("--work", required=True, help="work folder (emptied first)")
    args = ap.parse_args()
    for tool in ("ardour7-lua", "ardour7-export"):
        if not shutil.which(tool):
            print(f"FAIL: {tool} is not installed (scripts/install-deps.sh installs Ardour)")
            return 1
    realhost.fresh_dir(args.work)
    work = os.path.abspath(args.work)
    lv2 = os.path.join(work, "lv2")
    shutil.copytree(args.bundle, os.path.join(lv2, "Korvo.lv2"), symlinks=False)
    for d in ("home", "config", "cache"):
        os.makedirs(os.path.join(work, d))
    env = dict(os.environ, HOME=os.path.join(work, "home"), XDG_CONFIG_HOME=os.path.join(work, "config"),
               XDG_CACHE_HOME=os.path.join(work, "cache"), LV2_PATH=lv2)
    logf = os.path.join(work, "host.log")
    note = testnote.TestNote(60, 100, 4)
    sess = os.path.join(work, SESSION)
    state_path = os.path.join(sess, SESSION + ".ardour")

    def render(name):
        wav = os.path.join(work, name + ".wav")
        ardour_test.export(sess, wav, env, logf)
        s = samples(wav)
        log(f"  {name}: {len(s)} frames, RMS {rms(s):.4f}")
        return s

    try:
        log("1. session with the LV2 instrument")
        lua(["create-lv2", sess, SESSION, URI], env, logf)
        log("2. the test note, exported")
        ardour_test.add_note_region(state_path, sess, note)
        ardour_test.connect_to_master(state_path)
        first = render("export")
        if rms(first) < 1e-3:
            raise ardour_test.Failure("the note is silent")
        log("3. DCA1 LEVEL at its minimum, then at its maximum, set from Lua")
        lua(["param", sess, SESSION, "DCA1 LEVEL", "0"], env, logf)
        low = render("level-min")
        lua(["param", sess, SESSION, "DCA1 LEVEL", "63"], env, logf)
        high = render("level-max")
        diff = rms([a - b for a, b in zip(low, high)])
        log(f"  difference RMS {diff:.4f}")
        if rms(high) < 1e-3 or diff < 0.1 * rms(high):
            raise ardour_test.Failure("the level's minimum and maximum render alike")
        log("4. the session reopened and saved again")
        lua(["resave", sess, SESSION], env, logf)
        again = render("reopened")
        worst = max((abs(a - b) for a, b in zip(high, again)), default=1.0)
        log(f"  largest difference {worst:.5f}")
        if len(again) != len(high) or worst > 1e-3:
            raise ardour_test.Failure("the reopened session renders differently")
        states = glob.glob(os.path.join(sess, "plugins", "*", "state*", "state.ttl"))
        if not any("urn:korvo:synth#editBuffer" in open(p).read() for p in states):
            raise ardour_test.Failure(f"no saved state holds the edit buffer ({states})")
    except (ardour_test.Failure, realhost.HostError) as e:
        log(f"FAIL: {e} (host output in {logf})")
        return 1
    log("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
