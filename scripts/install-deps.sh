#!/usr/bin/env bash
# Installs every Debian package that the builds, tests, benchmarks and fuzzers need; with --build
# only what the release build needs (the demo, manual included), without Wine, the DAWs or any i386 package.
# Non-interactive and idempotent: running it twice changes nothing the second time.
#
# --allow-i386-downgrades (implied by CI=true): where the i386 packages cannot be installed as they
# are, install them against the main suite's versions of their amd64 twins, downgrading the twins
# that came from the security suite (see install_i386_from_main below). Never done unasked.
set -euo pipefail

MODE=all
I386_DOWNGRADES=false
if [ "${CI:-}" = true ]; then I386_DOWNGRADES=true; fi
for arg in "$@"; do
  case "$arg" in
    --build) MODE=build ;;
    --allow-i386-downgrades) I386_DOWNGRADES=true ;;
    *)
      echo "usage: $0 [--build] [--allow-i386-downgrades]" >&2
      exit 2
      ;;
  esac
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

PACKAGES=(
  # toolchain and build
  build-essential cmake ninja-build ccache pkg-config git
  # tests and benchmarks (the release build has them too)
  libgtest-dev libgmock-dev libbenchmark-dev
  # generic libraries (WAV, fonts, images, X11, ALSA)
  libsndfile1-dev libstb-dev libfreetype-dev libgif-dev
  fonts-liberation2 fonts-dejavu-core
  libx11-dev libasound2-dev
  # the standalone program's audio and MIDI (JACK; ALSA is its fallback)
  libjack-jackd2-dev
  # LV2 headers for the LV2 bundle
  lv2-dev
  # renders the manual (docs/manual) to HTML; the default build makes it, so the demo needs it too
  pandoc
)
if [ "$MODE" != build ]; then
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
    # Ardour's GUI opens the editor in a real-host test on a JACK server with its dummy driver; the
    # standalone's tests play through one too (jack_lsp and friends come with it)
    jackd2
    # LV2 hosts and checks: lilv's tools and library (lv2info, the host-level test), jalv, and
    # sord_validate (sordi) checking the generated TTL against the schemas in lv2-dev
    lilv-utils liblilv-dev jalv sordi
  )
fi
# The 32-bit side: Wine's 32-bit loader runs the 32-bit DLL, and LMMS (i386 only: its VeSTige
# instrument) loads it through Wine. A mirror whose i386 index is broken can keep these from
# installing; the tests that need them are then reported as not run, and the rest goes on.
I386_PACKAGES=()
if [ "$MODE" != build ]; then
  I386_PACKAGES=(wine32:i386 lmms:i386 lmms-vst-server:i386)
fi

is_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=()
missing_i386=()
if [ "$MODE" != build ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
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
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A mirror in the middle of a sync fails an index now and then: try again, and go on with the
# lists that did arrive (the install below fails clearly if a package is really missing).
for attempt in 1 2 3; do
  if $SUDO apt-get update -q 2>&1 | tee "$work/update.log"; then break; fi
  echo "install-deps: apt-get update failed (attempt $attempt of 3)" >&2
  [ "$attempt" -lt 3 ] && sleep 15
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The security suite's i386 index can lag behind its amd64 one (a mirror in mid-sync serves one that
# does not match its signed release file). The i386 packages then know only the main suite's
# versions, while their amd64 twins, which must have the same version, may be newer ones from the
# security suite. For this one install, a preferences file puts the security suite below the main
# suite and lets the main suite's versions win even where that is a downgrade; apt then downgrades
# only the twins it must. The plan is simulated first and refused if it removes a package or
# downgrades what the builds stand on (scripts/apt-plan-downgrades.sh).
i386_failure=""

# Sets i386_failure to apt's first error in <log>.
apt_error() { i386_failure=$(grep -m1 '^E: ' "$1" || echo "apt-get failed"); }

install_i386_from_main() {
  local prefs="$work/i386.pref"
  cat >"$prefs" <<'EOF'
Package: *
Pin: release l=Debian-Security
Pin-Priority: 100

Package: *
Pin: release l=Debian
Pin-Priority: 1001
EOF
  local apt_opts=(-o "Dir::Etc::Preferences=$prefs" --allow-downgrades --no-install-recommends)
  if ! apt-get -s "${apt_opts[@]}" install "${missing_i386[@]}" >"$work/plan.txt" 2>&1; then
    apt_error "$work/plan.txt"
    return 1
  fi
  if ! "$(dirname "$0")/apt-plan-downgrades.sh" "$work/plan.txt" >"$work/downgrades.txt" 2>"$work/refused.txt"; then
    i386_failure="refused: $(cat "$work/refused.txt")"
    return 1
  fi
  local downgrades
  mapfile -t downgrades <"$work/downgrades.txt"
  echo "install-deps: installing the i386 packages against the main suite's versions of their amd64 twins;" \
    "downgrading ${#downgrades[@]} amd64 packages:"
  if [ ${#downgrades[@]} -gt 0 ]; then printf '  %s\n' "${downgrades[@]}"; fi
  if ! $SUDO apt-get install -y -q "${apt_opts[@]}" "${missing_i386[@]}" 2>&1 | tee "$work/i386.log"; then
    apt_error "$work/i386.log"
    return 1
  fi
}

install_i386() {
  if $SUDO apt-get install -y -q --no-install-recommends "${missing_i386[@]}" 2>&1 | tee "$work/i386.log"; then
    return 0
  fi
  apt_error "$work/i386.log"
  if ! $I386_DOWNGRADES; then
    i386_failure+=" (CI=true or --allow-i386-downgrades installs them against the main suite's versions of their amd64 twins)"
    return 1
  fi
  install_i386_from_main
}

if [ ${#missing_i386[@]} -gt 0 ] && ! install_i386; then
  index=$(grep -m1 '^E: Failed to fetch .*binary-i386' "$work/update.log" | sed 's/^E: Failed to fetch //; s/ *\[IP: .*\]//' || true)
  if [ -n "$index" ]; then i386_failure+="; the i386 index failed to download: $index"; fi
  echo "install-deps: WARNING: could not install ${missing_i386[*]}: $i386_failure;" \
    "the 32-bit Windows tests under Wine and the LMMS tests will be reported as not run" >&2
fi
