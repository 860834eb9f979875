#!/usr/bin/env python3
"""Fails when a C++ file includes a header from a layer above its own.

The layers are the ones the README's "## Layout" block lists, bottom first: each line names one
layer (a line may name several folders, which then share it). A file belongs to the layer of the
longest folder that holds it; folders the block does not name are not checked. An include is
resolved beside the including file first, then by file name among the project's headers;
headers that do not exist in the tree (generated ones, system ones) are not checked.

Usage: check-layers.py [ROOT]   (ROOT: the source tree, default: this script's parent folder)
"""
import os
import re
import subprocess
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCE = re.compile(r"\.(h|hpp|cpp|cc|c)$")


def layers_from_readme(root):
    text = open(os.path.join(root, "README.md"), encoding="utf-8").read()
    section = text.split("\n## Layout", 1)
    if len(section) < 2:
        sys.exit("check-layers: README.md has no '## Layout' section")
    block = section[1].split("```", 2)
    if len(block) < 3:
        sys.exit("check-layers: the Layout section has no code block")
    ranks = {}
    # A layer's line starts with its folders, separated by single blanks; two blanks start the
    # description, and indented lines continue it.
    for rank, line in enumerate(l for l in block[1].splitlines() if l.strip() and not l[0].isspace()):
        for folder in line.split("  ", 1)[0].split():
            if folder.endswith("/"):
                ranks[folder.rstrip("/")] = rank
    return ranks


def tracked_sources(root):
    try:
        out = subprocess.run(["git", "ls-files", "--cached", "--others", "--exclude-standard"], cwd=root, capture_output=True, text=True, check=True).stdout
        files = out.splitlines()
    except (OSError, subprocess.CalledProcessError):
        files = [os.path.relpath(os.path.join(d, f), root) for d, _, fs in os.walk(root) for f in fs]
    return [f for f in files if SOURCE.search(f) and not f.startswith("build/")]


def layer_of(path, ranks):
    best = None
    for folder, rank in ranks.items():
        if path == folder or path.startswith(folder + "/"):
            if best is None or len(folder) > len(best[0]):
                best = (folder, rank)
    return best


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    ranks = layers_from_readme(root)
    files = tracked_sources(root)
    by_name = {}
    for f in files:
        by_name.setdefault(os.path.basename(f), []).append(f)
    problems = []
    for f in files:
        mine = layer_of(f, ranks)
        if mine is None:
            continue
        with open(os.path.join(root, f), encoding="utf-8", errors="replace") as source:
            for number, line in enumerate(source, 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                beside = os.path.normpath(os.path.join(os.path.dirname(f), m.group(1)))
                targets = [beside] if beside in files else by_name.get(os.path.basename(m.group(1)), [])
                for target in targets:
                    theirs = layer_of(target, ranks)
                    if theirs is not None and theirs[1] > mine[1]:
                        problems.append(f"{f}:{number}: includes {target} ({theirs[0]}/ is above {mine[0]}/)")
    for p in problems:
        print(p)
    if problems:
        print(f"check-layers: {len(problems)} include(s) run up a layer (the order is README.md's Layout)")
        return 1
    print(f"check-layers: {len(files)} files, {len(ranks)} folders in {max(ranks.values()) + 1} layers: no include runs up")
    return 0


if __name__ == "__main__":
    sys.exit(main())
