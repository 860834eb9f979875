#!/usr/bin/env python3
"""Checks of the LV2 bundle with the tools Debian gives.

  lv2_checks.py info BUNDLE       lv2info urn:korvo:synth on an LV2_PATH holding only the bundle:
                                  no error or warning, the name, the ports and the 128 presets
  lv2_checks.py install BUILD     cmake --install of the component lv2 into a temporary prefix:
                                  the installed bundle passes the info check
  lv2_checks.py validate BUNDLE   sord_validate: the bundle's Turtle against the LV2 schemas and
                                  the specifications it uses (lv2-dev), no error or warning
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

URI = "urn:korvo:synth"
SPEC_DIR = os.environ.get("LV2_SPEC_DIR", "/usr/lib/lv2")
# The specifications the bundle's Turtle refers to, and the schemas that define their vocabularies.
SPECS = ["schemas", "core", "atom", "midi", "state", "ui", "urid", "presets", "options", "instance-access",
         "port-props", "units", "parameters", "data-access", "buf-size", "patch", "time", "port-groups",
         "resize-port", "morph", "event", "log"]


def fail(message, output=""):
    print("FAIL: " + message)
    if output:
        print(output)
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
    print(f"sord_validate: {len(own)} files of the bundle against {len(files)} of the LV2 specifications: valid")


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("info", "install", "validate"):
        sys.exit(__doc__)
    {"info": info, "install": install, "validate": validate}[sys.argv[1]](sys.argv[2])
