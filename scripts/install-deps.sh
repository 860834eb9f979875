#!/usr/bin/env bash
# Installs every Debian package that the builds, tests, benchmarks and fuzzers need; with --build
# only what the release build needs (the demo), without Wine, the DAWs or any i386 package.
# Non-interactive and idempotent: running it twice changes nothing the second time.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

PACKAGES=(
  # toolchain and build
  build-essential cmake ninja-build ccache pkg-config git
  # tests and benchmarks (the release build has them too)
  libgtest-dev libgmock-dev libbenchmark-dev
  # generic libraries (WAV, MIDI files, fonts, images, X11, ALSA)
  libsndfile1-dev libsmf-dev libstb-dev libfreetype-dev libgif-dev
  fonts-liberation2 fonts-dejavu-core
  libx11-dev libasound2-dev
)
if [ "${1:-}" != "--build" ]; then
  PACKAGES+=(
    # clang for the libFuzzer targets; clang-format for the format check of the test command
    clang libclang-rt-14-dev clang-format
    # Windows cross builds and running them
    mingw-w64 g++-mingw-w64-i686 g++-mingw-w64-x86-64
    wine wine64
    # headless display for the X11 screenshot tests; xdotool clicks and types into the editor there
    xvfb xauth xdotool
    # a third-party VST 2 plug-in to prove the host against
    dpf-plugins-vst
    # a real DAW for the real-host tests (driven by Python scripts): Ardour loads the Linux plug-in
    ardour python3
    # Ardour's GUI opens the editor in a real-host test on a JACK server with its dummy driver
    jackd2
  )
fi
# The 32-bit side: Wine's 32-bit loader runs the 32-bit DLL, and LMMS (i386 only: its VeSTige
# instrument) loads it through Wine. A mirror whose i386 index is broken can keep these from
# installing; the tests that need them are then reported as not run, and the rest goes on.
I386_PACKAGES=()
if [ "${1:-}" != "--build" ]; then
  I386_PACKAGES=(wine32:i386 lmms:i386 lmms-vst-server:i386)
fi

is_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=()
missing_i386=()
if [ "${1:-}" != "--build" ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
for p in "${PACKAGES[@]}"; do
  is_installed "$p" || missing+=("$p")
done
for p in "${I386_PACKAGES[@]}"; do
  is_installed "$p" || missing_i386+=("$p")
done

if [ ${#missing[@]} -eq 0 ] && [ ${#missing_i386[@]} -eq 0 ]; then
  echo "install-deps: everything is installed"
  exit 0
fi

echo "install-deps: installing ${missing[*]} ${missing_i386[*]}"
# A mirror in the middle of a sync fails an index now and then: try again, and go on with the
# lists that did arrive (the install below fails clearly if a package is really missing).
for attempt in 1 2 3; do
  if $SUDO apt-get update -q; then break; fi
  echo "install-deps: apt-get update failed (attempt $attempt of 3)" >&2
  [ "$attempt" -lt 3 ] && sleep 15
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
if [ ${#missing_i386[@]} -gt 0 ] &&
  ! $SUDO apt-get install -y -q --no-install-recommends "${missing_i386[@]}"; then
  echo "install-deps: WARNING: could not install ${missing_i386[*]} (see apt-get's message above);" \
    "the 32-bit Windows tests under Wine and the LMMS tests will be reported as not run" >&2
fi
