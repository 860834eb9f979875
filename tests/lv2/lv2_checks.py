#!/usr/bin/env python3
"""Checks of the LV2 bundle with the tools Debian gives.

  lv2_checks.py info BUNDLE       lv2info urn:korvo:synth on an LV2_PATH holding only the bundle:
                                  no error or warning, the name, the ports and the 128 presets
  lv2_checks.py install BUILD     cmake --install of the component lv2 into a temporary prefix:
                                  the installed bundle passes the info check
  lv2_checks.py jalv BUNDLE       jalv runs the bundle on a JACK server with the dummy driver: lists the
                                  128 presets, loads one, takes a control, and plays a note that
                                  jack_midiseq sends while jack_rec records it
  lv2_checks.py validate BUNDLE   sord_validate: the bundle's Turtle against the LV2 schemas and
                                  the LV2 vocabularies it uses (lv2-dev), no error or warning
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import wave

URI = "urn:korvo:synth"
SPEC_DIR = os.environ.get("LV2_SPEC_DIR", "/usr/lib/lv2")
# The LV2 vocabularies the bundle's Turtle refers to, and the schemas that define their vocabularies.
SPECS = ["schemas", "core", "atom", "midi", "state", "ui", "urid", "presets", "options", "instance-access",
         "port-props", "units", "parameters", "data-access", "buf-size", "patch", "time", "port-groups",
         "resize-port", "morph", "event", "log"]


def fail(message, output=""):
    print("FAIL: " + message)
    if output:
        print(output[-6000:])
    sys.exit(1)


def need(tool):
    path = shutil.which(tool)
    if not path:
        fail(f"{tool} is not installed (scripts/install-deps.sh installs it)")
    return path


def info(bundle):
    lv2info = need("lv2info")
    with tempfile.TemporaryDirectory() as path:
        os.symlink(os.path.abspath(bundle), os.path.join(path, "Korvo.lv2"))
        env = dict(os.environ, LV2_PATH=path)
        run = subprocess.run([lv2info, URI], env=env, capture_output=True, text=True, timeout=60)
    out, err = run.stdout, run.stderr
    if run.returncode != 0:
        fail(f"lv2info exited with {run.returncode}", out + err)
    if err.strip():
        fail("lv2info reported on standard error", err)
    if re.search(r"(?im)\b(error|warning)\b", out):
        fail("lv2info reported an error or warning", out)
    if not re.search(r"(?m)^\s*Name:\s+Korvo$", out):
        fail("the plug-in's name is not Korvo", out)
    ports = re.findall(r"(?m)^\s*Port (\d+):", out)
    symbols = re.findall(r"(?m)^\s*Symbol:\s+(\S+)$", out)
    if len(ports) < 100 or len(set(symbols)) != len(ports):
        fail(f"{len(ports)} ports with {len(set(symbols))} distinct symbols", out)
    if symbols[:3] != ["midi_in", "out_left", "out_right"]:
        fail(f"first ports are {symbols[:3]}", out)
    if "lv2core#control" not in out.split("Port 1:")[0]:
        fail("the MIDI input has no lv2:control designation", out)
    presets = out.split("Presets:", 1)[1].split("Port 0:", 1)[0] if "Presets:" in out else ""
    names = [l.strip() for l in presets.splitlines() if l.strip()]
    if len(names) != 128:
        fail(f"{len(names)} presets instead of 128", out)
    print(f"lv2info: {len(ports)} ports, {len(names)} presets, no errors or warnings")


def install(build):
    with tempfile.TemporaryDirectory() as prefix:
        run = subprocess.run(["cmake", "--install", build, "--component", "lv2", "--prefix", prefix],
                             capture_output=True, text=True, timeout=120)
        if run.returncode != 0:
            fail("cmake --install failed", run.stdout + run.stderr)
        bundle = os.path.join(prefix, "lib", "lv2", "Korvo.lv2")
        for name in ["Korvo.so", "manifest.ttl", "korvo.ttl", "presets.ttl", "Korvo/data/wavrom.bin",
                     "Korvo/data/Korvo_backup.dat", "Korvo/user/factory.kvl"]:
            if not os.path.isfile(os.path.join(bundle, name)):
                fail(f"the installed bundle has no {name}")
        info(bundle)


def rms_of(path):
    with wave.open(path) as w:
        width, frames = w.getsampwidth(), w.readframes(w.getnframes())
    if width != 2 or not frames:
        fail(f"{path}: {width}-byte samples, {len(frames)} bytes")
    samples = [int.from_bytes(frames[i:i + 2], "little", signed=True) / 32768 for i in range(0, len(frames), 2)]
    return (sum(x * x for x in samples) / len(samples)) ** 0.5


def jalv(bundle):
    if not os.path.isfile(os.path.join(bundle, "Korvo.so")):
        fail(f"no bundle in {bundle} (a sanitized build takes the release build's: build its korvo_lv2_bundle)")
    for tool in ("jackd", "jack_wait", "jalv", "jack_midiseq", "jack_rec", "jack_connect"):
        need(tool)
    with tempfile.TemporaryDirectory() as work:
        os.makedirs(os.path.join(work, "lv2"))
        os.makedirs(os.path.join(work, "config"))
        os.symlink(os.path.abspath(bundle), os.path.join(work, "lv2", "Korvo.lv2"))
        server = f"korvo-lv2-{os.getpid()}"
        env = dict(os.environ, LV2_PATH=os.path.join(work, "lv2"), JACK_DEFAULT_SERVER=server, XDG_CONFIG_HOME=os.path.join(work, "config"))
        jackd = subprocess.Popen(["jackd", "--no-realtime", "-d", "dummy", "-r", "48000", "-p", "256"], env=env,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        player = host = None
        try:
            if subprocess.run(["jack_wait", "-w", "-t", "20"], env=env, capture_output=True).returncode != 0:
                fail("the JACK dummy server did not start")
            host = subprocess.Popen(["jalv", "-x", "-n", "korvo", "urn:korvo:synth"], env=env, stdin=subprocess.PIPE,
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            host.stdin.write("presets\npreset urn:korvo:synth:preset:002\nfilt_freq = 90\ncontrols\n")
            host.stdin.flush()
            # jalv is ready once its ports are there: wait for them.
            for _ in range(200):
                ports = subprocess.run(["jack_lsp"], env=env, capture_output=True, text=True).stdout
                if "korvo:midi_in" in ports and "korvo:out_left" in ports:
                    break
                if host.poll() is not None:
                    fail("jalv ended", host.stdout.read())
                subprocess.run(["jack_wait", "-c"], env=env, capture_output=True)
            else:
                fail("jalv's ports did not appear", ports)
            # A note of half a second every second, recorded for two seconds.
            player = subprocess.Popen(["jack_midiseq", "korvo_seq", "48000", "0", "60", "24000"], env=env,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for _ in range(200):
                if "korvo_seq:out" in subprocess.run(["jack_lsp"], env=env, capture_output=True, text=True).stdout:
                    break
            if subprocess.run(["jack_connect", "korvo_seq:out", "korvo:midi_in"], env=env).returncode != 0:
                fail("cannot connect the sequencer to jalv's MIDI input")
            recording = os.path.join(work, "note.wav")
            rec = subprocess.run(["jack_rec", "-f", recording, "-d", "2", "korvo:out_left"], env=env,
                                 capture_output=True, text=True, timeout=60)
            if rec.returncode != 0 or not os.path.exists(recording):
                fail("jack_rec failed", rec.stdout + rec.stderr)
            level = rms_of(recording)
            host.stdin.close()
            out = host.stdout.read()
            host.wait(timeout=30)
        finally:
            for p in (player, host, jackd):
                if p and p.poll() is None:
                    p.terminate()
                    p.wait(timeout=30)
    out = out.replace("> ", "")  # jalv's prompt
    presets = re.findall(r"(?m)^urn:korvo:synth:preset:\d+", out)
    if len(set(presets)) != 128:
        fail(f"jalv listed {len(set(presets))} presets", out)
    if not re.search(r"(?m)filt_freq = 90\.0+$", out):
        fail("jalv did not take filt_freq = 90", out)
    if re.search(r"(?im)^(error|warning|lilv)", out):
        fail("jalv reported an error", out)
    if level < 1e-3:
        fail(f"the recorded note is silent (RMS {level})")
    print(f"jalv: 128 presets, a preset and a control taken, the note recorded at RMS {level:.4f}")


def validate(bundle):
    sord_validate = need("sord_validate")
    files = []
    for spec in SPECS:
        folder = os.path.join(SPEC_DIR, spec + ".lv2")
        found = [f for f in sorted(glob.glob(os.path.join(folder, "*.ttl"))) if os.path.basename(f) != "manifest.ttl"]
        if not found:
            fail(f"no Turtle in {folder} (Debian: lv2-dev)")
        files += found
    own = sorted(glob.glob(os.path.join(bundle, "*.ttl")))
    if len(own) != 3:
        fail(f"the bundle holds {len(own)} Turtle files, not 3: {own}")
    run = subprocess.run([sord_validate] + files + own, capture_output=True, text=True, timeout=120)
    out = run.stdout + run.stderr
    if run.returncode != 0 or re.search(r"(?im)^(error|warning)", out):
        fail(f"sord_validate exited with {run.returncode}", out[:20000])
    print(f"sord_validate: {len(own)} files of the bundle against {len(files)} of the LV2 vocabularies: valid")


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("info", "install", "jalv", "validate"):
        sys.exit(__doc__)
    {"info": info, "install": install, "jalv": jalv, "validate": validate}[sys.argv[1]](sys.argv[2])
