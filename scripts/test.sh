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

jobs="${KORVO_JOBS:-$(nproc)}"
for preset in win32 win64 release ci; do
  step "build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

step "tests (sanitizers, Wine)"
ctest --preset ci -j "$jobs"

# ThreadSanitizer cannot share a build with AddressSanitizer; only the engine's two-thread stress
# test is built and run with it.
step "build tsan (thread stress test)"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs" --target korvo_thread_tests
step "tests (ThreadSanitizer)"
ctest --preset tsan -R EngineThreads
step "done"
