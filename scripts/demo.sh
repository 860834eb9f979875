#!/usr/bin/env bash
# The main job: install what is needed, build Korvo in release mode and render the bundled demo
# song with the bundled sounds and the generated wave ROM to out/demo.wav.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh --build
cmake --preset release
cmake --build --preset release

mkdir -p out
build/release/tools/korvo-render/korvo-render --out out/demo.wav
