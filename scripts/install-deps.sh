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
    wine wine64 wine32:i386
    # headless display for the X11 screenshot tests; xdotool clicks and types into the editor there
    xvfb xauth xdotool
    # a third-party VST 2 plug-in to prove the host against
    dpf-plugins-vst
    # real DAWs for the real-host tests (driven by Python scripts): Ardour loads the Linux plug-in, LMMS (i386
    # only: its VeSTige instrument) loads the 32-bit Windows DLL through Wine
    ardour lmms:i386 lmms-vst-server:i386 python3
    # Ardour's GUI opens the editor in a real-host test on a JACK server with its dummy driver
    jackd2
  )
fi

missing=()
if [ "${1:-}" != "--build" ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is installed"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
# A mirror in the middle of a sync fails an index now and then: try again, and go on with the
# lists that did arrive (the install below fails clearly if a package is really missing).
for attempt in 1 2 3 4; do
  if $SUDO apt-get update -q; then break; fi
  echo "install-deps: apt-get update failed (attempt $attempt of 4)" >&2
  [ "$attempt" -lt 4 ] && sleep 20
done
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
