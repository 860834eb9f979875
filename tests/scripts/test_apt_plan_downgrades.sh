#!/usr/bin/env bash
# scripts/apt-plan-downgrades.sh against `apt-get -s` plans as apt 2.6 prints them: it lists only
# the downgrades (epochs and Debian revisions compared as dpkg does), and refuses a plan that
# removes a package or downgrades the C library or the C++ runtime.
set -uo pipefail
check="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cat >"$work/allowed" <<'PLAN'
Inst libcap2 [1:2.66-4+deb12u2+b2] (1:2.66-4+deb12u3+b1 Debian:12.15/oldstable [amd64])
Inst libcap2:i386 (1:2.66-4+deb12u3+b1 Debian:12.15/oldstable [i386]) []
Inst libc6:i386 (2.36-9+deb12u14 Debian:12.15/oldstable [i386]) []
Inst libext2fs2 [1.47.0-2] (1.47.0-2+b2 Debian:12.15/oldstable [amd64]) [e2fsprogs:amd64 on libext2fs2:amd64] [e2fsprogs:amd64 ]
Inst libpcre2-8-0 [10.42-1+deb12u2] (10.42-1 Debian:12.15/oldstable [amd64]) []
Conf libpcre2-8-0 (10.42-1 Debian:12.15/oldstable [amd64])
Inst libgstreamer-plugins-base1.0-0 [1.22.0-3+deb12u7] (1.22.0-3+deb12u6 Debian:12.15/oldstable [amd64])
PLAN
out=$("$check" "$work/allowed" 2>&1) || fail "an allowed plan was refused: $out"
expected='libpcre2-8-0 10.42-1+deb12u2 -> 10.42-1
libgstreamer-plugins-base1.0-0 1.22.0-3+deb12u7 -> 1.22.0-3+deb12u6'
[ "$out" = "$expected" ] || fail "downgrades listed as '$out', expected '$expected'"

cp "$work/allowed" "$work/core"
cat >>"$work/core" <<'PLAN'
Inst libc6 [2.36-9+deb12u14] (2.36-9+deb12u7 Debian-Security:12/oldstable-security [amd64])
Inst libstdc++6 [12.2.0-14+deb12u1] (12.2.0-14 Debian:12.15/oldstable [amd64])
PLAN
if err=$("$check" "$work/core" 2>&1 >/dev/null); then fail "a plan downgrading libc6 and libstdc++6 was allowed"; fi
[[ "$err" == *"libc6 libstdc++6"* ]] || fail "the refusal does not name libc6 and libstdc++6: '$err'"

cp "$work/allowed" "$work/removal"
echo "Remv libavahi-client3 [0.8-10+deb12u1]" >>"$work/removal"
if err=$("$check" "$work/removal" 2>&1 >/dev/null); then fail "a plan removing a package was allowed"; fi
[[ "$err" == *"remove libavahi-client3"* ]] || fail "the refusal does not name the removed package: '$err'"

exit $((failures > 0))
