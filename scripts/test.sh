#!/usr/bin/env bash
# Builds everything and runs every test: the Linux build under AddressSanitizer and
# UndefinedBehaviorSanitizer (unit, fuzz-replay and integration tests), the release build (with the
# benchmarks), the Windows builds (i686 and x86_64) driven through the cross-built host
# under Wine, and the engine's two-thread stress test under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

step() { printf '\n=== %s (%ss elapsed)\n' "$1" "$SECONDS"; }

# The tests that need the 32-bit side (win32.*, the LMMS tests) are disabled, not failed, where it is
# missing. The last lines say so and why, pass or fail, so that a green run is not read as having
# run them: the reasons the ci tree's configure found, and install-deps' warning if it had one.
mkdir -p build
deps_log=build/install-deps.log
ctest_log=build/ci/ctest.log
rm -f "$deps_log" "$ctest_log"
ci_configured=false
say_32bit_not_run() {
  local reasons=build/ci/32bit-tests-not-run.txt
  if ! $ci_configured || [ ! -f "$reasons" ]; then return 0; fi
  local count="the"
  if [ -f "$ctest_log" ]; then count=$(grep -cE '^\s+[0-9]+ - .+ \(Disabled\)$' "$ctest_log" || true); fi
  printf '\nNOT RUN: %s tests of the 32-bit Windows build (win32.* under Wine, the LMMS tests) were disabled, because\n' "$count"
  sed 's/^/  - /' "$reasons"
  grep -h '^install-deps: WARNING: ' "$deps_log" 2>/dev/null | sed 's/^install-deps: WARNING: /  - install-deps /' || true
}
trap say_32bit_not_run EXIT

step "dependencies"
./scripts/install-deps.sh 2>&1 | tee "$deps_log"

step "format and layers"
./scripts/check-format.sh
./scripts/check-layers.py

jobs="${KORVO_JOBS:-$(nproc)}"
# release first: the Windows builds embed the editor artwork, the wave ROM and the factory bank it generates.
for preset in release win32 win64 ci; do
  step "build $preset"
  cmake --preset "$preset" >/dev/null
  if [ "$preset" = ci ]; then ci_configured=true; fi
  cmake --build --preset "$preset" -j "$jobs"
done

# The three release packages (the Windows ones take their data files from the release build).
step "release packages"
cmake --build --preset release --target package-linux-x86_64
cmake --build --preset win32 --target package-win32
cmake --build --preset win64 --target package-win64

step "tests (sanitizers, Wine)"
ctest --preset ci -j "$jobs" --output-log "$ctest_log"
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
