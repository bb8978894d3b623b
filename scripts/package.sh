#!/usr/bin/env bash
# The Debian package of a build tree: `cpack -G DEB`, its contents checked
# with `dpkg-deb -c`, and the tool of an extracted copy run (the whole demo).
# CI packs its test build; a release comes from a product build (no test
# seams): cmake -S . -B build-release && cmake --build build-release -j &&
# bash scripts/package.sh build-release.
#
#   bash scripts/package.sh [BUILD]   (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

(cd "$build" && cpack -G DEB -B "$out") >"$out/cpack.log" 2>&1 || { cat "$out/cpack.log" >&2; exit 1; }
deb=$(ls "$out"/dizora_*.deb)
contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
missing=0
for f in usr/bin/dizora usr/lib/libdizora.so.0 usr/lib/libdizora.so usr/lib/libcrypt.dll usr/include/dizora.h \
         usr/lib/pkgconfig/dizora.pc usr/lib/cmake/Dizora/DizoraConfig.cmake usr/share/man/man1/dizora.1 \
         usr/share/bash-completion/completions/dizora; do
  grep -qx "\./$f" <<<"$contents" || { echo "PACKAGE LACKS $f" >&2; missing=1; }
done
[[ $missing -eq 0 ]]
echo "$(basename "$deb"): $(wc -l <<<"$contents") entries, depends on: $(dpkg-deb -f "$deb" Depends)"

# The extracted tool finds its library through its rpath and the engine finds
# libcrypt.dll beside itself.
dpkg-deb -x "$deb" "$out/root"
"$out/root/usr/bin/dizora" --version
"$out/root/usr/bin/dizora" demo --dir "$out/demo" | tail -n 1
