#!/usr/bin/env bash
# Builds everything and runs every test: the Linux build under AddressSanitizer and
# UndefinedBehaviorSanitizer (unit, fuzz-replay and integration tests), the release build (with the
# benchmarks), the Windows builds (i686 and x86_64) driven through the cross-built host
# under Wine, and the engine's two-thread stress test under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

step() { printf '\n=== %s (%ss elapsed)\n' "$1" "$SECONDS"; }

step "dependencies"
./scripts/install-deps.sh

step "format and layers"
./scripts/check-format.sh
./scripts/check-layers.py

jobs="${KORVO_JOBS:-$(nproc)}"
# release first: the Windows builds embed the editor artwork, the wave ROM and the factory bank it generates.
for preset in release win32 win64 ci; do
  step "build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

# The three release packages (the Windows ones take their data files from the release build).
step "release packages"
cmake --build --preset release --target package-linux-x86_64
cmake --build --preset win32 --target package-win32
cmake --build --preset win64 --target package-win64

step "tests (sanitizers, Wine)"
ctest --preset ci -j "$jobs"
if command -v clang++ >/dev/null; then
  step "fuzz targets (a short run of each)"
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$jobs"
  ctest --preset fuzz -j "$jobs"
fi

# ThreadSanitizer cannot share a build with AddressSanitizer; only the engine's two-thread stress
# test is built and run with it.
step "build tsan (thread stress test)"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs" --target korvo_thread_tests
step "tests (ThreadSanitizer)"
ctest --preset tsan -R EngineThreads
step "done"
