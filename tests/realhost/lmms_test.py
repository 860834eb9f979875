#!/usr/bin/env python3
"""Real-host test: LMMS 1.2 loads a 32-bit Windows VST 2 instrument through Wine (VeSTige) and
renders the test note with `lmms render`.

Everything runs in a private work folder: a fresh 32-bit Wine prefix (the plug-in's settings and
backup land there, never in a shared one), LMMS's configuration, the project and the WAV. LMMS
needs an X display even to render, so it runs under xvfb-run, with a time limit (without a
display it spins forever).

The project holds one VeSTige instrument track with the test note in a pattern. LMMS renders the
bars that hold notes plus one more bar; the note ends in the first bar, so the render is two
bars (8 beats, 4 s). LMMS sends its note keys as MIDI note numbers unchanged, and turns a note
volume v (0..200) into the velocity v * 127 / 200: 158 gives the test note's velocity 100.

The checks that need sound follow --sound as in the Ardour test ('auto' asks our own Windows
host, run under Wine, whether the plug-in makes any sound).
"""

import argparse
import base64
import os
import shutil
import sys
from xml.sax.saxutils import quoteattr

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import realhost  # noqa: E402
import testnote  # noqa: E402
from realhost import log  # noqa: E402

TICKS_PER_BEAT = 48  # LMMS: 192 ticks per 4/4 bar
RENDER_BEATS = 8


class Failure(Exception):
    pass


def lmms_volume(velocity):
    """The smallest LMMS note volume that arrives as the given MIDI velocity."""
    return next(v for v in range(201) if v * 127 // 200 >= velocity)


def project_xml(plugin, note, chunk=None):
    on = testnote.ON_BEAT * TICKS_PER_BEAT
    length = (testnote.OFF_BEAT - testnote.ON_BEAT) * TICKS_PER_BEAT
    # VeSTige hands a saved chunk to the plug-in when it loads the project.
    chunk_attr = f' chunk="{base64.b64encode(chunk).decode("ascii")}"' if chunk else ""
    return f"""<?xml version="1.0"?>
<!DOCTYPE lmms-project>
<lmms-project version="1.0" creator="LMMS" creatorversion="1.2.2" type="song">
  <head timesig_numerator="4" timesig_denominator="4" mastervol="100" bpm="{testnote.BPM}" masterpitch="0"/>
  <song>
    <trackcontainer type="song" width="600" height="300" x="5" y="5" visible="1" maximized="0" minimized="0">
      <track type="0" name="Synth" muted="0" solo="0">
        <instrumenttrack vol="100" pan="0" pitch="0" pitchrange="1" basenote="57" fxch="0" usemasterpitch="1">
          <instrument name="vestige">
            <vestige plugin={quoteattr(plugin)}{chunk_attr}/>
          </instrument>
        </instrumenttrack>
        <pattern type="0" pos="0" len="{4 * TICKS_PER_BEAT}" steps="16" muted="0" name="note">
          <note pos="{on}" len="{length}" key="{note.key}" vol="{lmms_volume(note.velocity)}" pan="0"/>
        </pattern>
      </track>
    </trackcontainer>
  </song>
</lmms-project>
"""


def wine_env(work, prefix):
    return realhost.private_env(work, {
        "WINEPREFIX": prefix, "WINEARCH": "win32", "WINEDEBUG": "-all",
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
    })


def make_prefix(env, logf):
    code, _ = realhost.run(["wineboot", "-i"], env, 300, logf)
    realhost.run(["wineserver", "-w"], env, 300, logf)
    if not os.path.exists(os.path.join(env["WINEPREFIX"], "system.reg")):
        raise Failure(f"wineboot made no prefix (exit {code})")


def install_korvo(data, plugin, env, logf):
    """What the setup program does: the product folder beside the plug-in, and its three folders
    in the registry (HKLM\\SOFTWARE\\Korvo), where the plug-in looks for its data."""
    product = realhost.install_product_folder(data, plugin)

    def windows_path(path):
        # A new prefix maps drive Z: to the root of the file system.
        return "Z:" + os.path.abspath(path).replace("/", "\\") + "\\"

    values = {"path_dll": windows_path(os.path.dirname(plugin)),
              "path_data": windows_path(os.path.join(product, "data")),
              "path_user": windows_path(os.path.join(product, "user"))}
    reg = os.path.join(os.path.dirname(plugin), "korvo.reg")
    with open(reg, "w", encoding="utf-16") as f:
        f.write("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvo]\r\n")
        for name, value in values.items():
            escaped = value.replace("\\", "\\\\")
            f.write(f'"{name}"="{escaped}"\r\n')
    code, _ = realhost.run(["wine", "regedit", "/S", reg], env, 120, logf)
    realhost.run(["wineserver", "-w"], env, 120, logf)
    if code != 0:
        raise Failure("cannot write the registry values")
    log(f"  installed the product folder, registry path_data={values['path_data']}")


def drop_prefix(env):
    """A passing or skipped run leaves no Wine prefix behind (close to 600 MB); a failing one
    keeps it for a look."""
    realhost.run(["wineserver", "-k"], env, 60, None)
    shutil.rmtree(env["WINEPREFIX"], ignore_errors=True)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    realhost.add_host_args(ap, "the 32-bit Windows VST 2 plug-in (.dll)",
                           "our own 32-bit Windows host (vsthost.exe), run under Wine to tell whether the "
                           "plug-in sounds",
                           "the plug-in's product folder (data/, user/): installed beside it and recorded in "
                           "the registry as the setup program does", 1.0)
    ap.add_argument("--sound-text", help="a Korvo sound in text form, converted with --korvo-patch and saved in "
                    "the project as the plug-in's chunk")
    ap.add_argument("--korvo-patch", help="the korvo-patch tool, for --sound-text")
    ap.add_argument("--rate", type=int, default=44100)
    args = ap.parse_args()

    started = realhost.start(args, ("lmms", "xvfb-run", "wine", "wineboot"), "scripts/install-deps.sh installs it")
    if not started:
        return 1
    plugin_src, work, logf = started
    env = wine_env(work, os.path.join(work, "wine"))
    # Copied beside the project: the path LMMS stores and the plug-in sees has no surprises.
    plugin = os.path.join(work, os.path.basename(plugin_src))
    shutil.copyfile(plugin_src, plugin)

    note = testnote.TestNote(args.key, 100, RENDER_BEATS)
    if args.require_sound and args.sound == "off":
        log("SKIP: sound checks switched off")
        return realhost.SKIP
    try:
        log("1. fresh 32-bit Wine prefix")
        make_prefix(env, logf)

        if args.data:
            install_korvo(os.path.abspath(args.data), plugin, env, logf)

        peak = None
        if args.sound == "auto" and args.vsthost:
            peak = realhost.plugin_peak(args.vsthost, plugin, args.key, runner="wine", env=env)
            realhost.run(["wineserver", "-w"], env, 120, logf)
        want_sound, why = realhost.sound_checks_wanted(args.sound, peak, os.path.basename(plugin_src))
        log(f"sound checks: {'on' if want_sound else 'SKIPPED'} ({why})")
        if args.require_sound and not want_sound:
            log("SKIP: the sound checks cannot run yet; the load and length checks run in the other test")
            drop_prefix(env)
            return realhost.SKIP

        log("2. LMMS project with a VeSTige track")
        project = os.path.join(work, "realhost.mmp")
        with open(project, "w") as f:
            chunk = realhost.chunk_from_text(args.korvo_patch, args.sound_text, work, logf) if args.sound_text else None
            f.write(project_xml(plugin, note, chunk))

        log("3. lmms render")
        wav = os.path.join(work, "render.wav")
        for attempt in (1, 2):
            code, out = realhost.run(["timeout", "-k", "10", "240", "xvfb-run", "-a", "lmms", "--allowroot",
                                      "render", project, "-o", wav, "-f", "wav", "-s", str(args.rate)], env, 300, logf)
            realhost.run(["wineserver", "-w"], env, 120, logf)
            if "xvfb-run: error" not in out:
                break
            log(f"  attempt {attempt}: the virtual display did not start")
        if "unique ID:" in out:
            log("  VeSTige loaded the plug-in: " + next(l for l in out.splitlines() if "unique ID:" in l).strip())
        else:
            raise Failure("VeSTige did not report the plug-in as loaded")
        if code != 0 or not os.path.exists(wav):
            raise Failure(f"lmms render produced no WAV (exit {code})")

        checks = realhost.note_checks(note, "0.002")
        if want_sound:
            checks += realhost.sound_checks(args)
        if not realhost.wavcheck(wav, checks, logf):
            raise Failure("the rendered WAV fails its checks")
    except (Failure, realhost.HostError) as e:
        log(f"FAIL: {e} (host output in {logf})")
        return 1
    drop_prefix(env)
    log("PASS" + ("" if want_sound else f" (sound checks skipped: {why})"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
