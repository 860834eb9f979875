#!/usr/bin/env bash
# The main job: install what is needed, build Korvo in release mode and render the demo to
# out/demo.wav through the built plug-in.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset release
cmake --build --preset release

mkdir -p out
build/release/tools/vsthost/vsthost --note 60:100:1 --seconds 2 --out out/demo.wav --timing \
  build/release/plugin/Korvo.so
echo "demo: wrote out/demo.wav"
