#!/usr/bin/env bash
# Reads what `apt-get -s install ...` printed (file PLAN) and prints each downgrade in it, one a line:
# "name installed -> new". Exits 1, saying why on stderr, when the plan removes a package or
# downgrades one that the machine's builds stand on (the C library, the C++ runtime, a compiler,
# binutils, dpkg or apt): install-deps never lets apt do that to fit the i386 packages in.
set -euo pipefail
plan="$1"

PROTECTED='^(libc6|libc6-dev|libc-bin|libc-dev-bin|libc-l10n|locales|linux-libc-dev|libstdc\+\+6|libstdc\+\+-[0-9]+-dev|libgcc-s1|libgcc-[0-9]+-dev|gcc(-[0-9]+)?(-base)?|g\+\+(-[0-9]+)?|cpp(-[0-9]+)?|lib(asan|ubsan|tsan|lsan|hwasan|gomp|atomic|itm|quadmath|cc1)[0-9-]*|binutils.*|libbinutils|libctf0|libctf-nobfd0|libgprofng0|clang.*|libclang.*|llvm.*|libllvm[0-9]+|.*mingw.*|dpkg|dpkg-dev|libdpkg-perl|apt|libapt-pkg[0-9.]+)(:[a-z0-9]+)?$'

removed=$(awk '$1 == "Remv" { printf "%s%s", sep, $2; sep = " " }' "$plan")
if [ -n "$removed" ]; then
  echo "apt would remove $removed" >&2
  exit 1
fi
# "Inst name [installed] (new suite [arch])"; a new package has no [installed].
refused=()
while read -r name old new; do
  if dpkg --compare-versions "$new" lt "$old"; then
    echo "$name $old -> $new"
    if [[ "$name" =~ $PROTECTED ]]; then refused+=("$name"); fi
  fi
done < <(awk '$1 == "Inst" && $3 ~ /^\[/ { gsub(/[][()]/, "", $3); gsub(/[()]/, "", $4); print $2, $3, $4 }' "$plan")
if [ ${#refused[@]} -gt 0 ]; then
  echo "apt would downgrade ${refused[*]}" >&2
  exit 1
fi
