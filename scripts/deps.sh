#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when run as root
# and any is missing; otherwise prints the apt-get line to run.
set -euo pipefail

# valgrind: the constant-time check of the MAC comparison (a CTest) and
# scripts/valgrind.sh; dpkg-dev and file: the Debian package (cpack -G DEB
# finds its dependencies with dpkg-shlibdeps).
packages=(cmake make g++ gcc pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          libgcrypt20-dev nettle-dev valgrind dpkg-dev file)
if [[ "${DZ_WITH_FUZZ:-0}" == 1 ]]; then
  packages+=(clang-14 libclang-rt-14-dev)
fi
# The peer benchmarks (scripts/bench.sh): OpenSSL 3's headers and Debian's
# gost engine for it.
if [[ "${DZ_WITH_BENCH:-0}" == 1 ]]; then
  packages+=(libssl-dev libengine-gost-openssl)
fi
# The Windows build (scripts/test-windows.sh): the posix-thread mingw-w64
# compiler, libgcrypt for Windows, GoogleTest's sources, Wine with its 32-bit
# part (the i386 architecture), and the locale sources for the Russian UTF-8
# locale the suites run in.
windows=0
if [[ "${DZ_WITH_WINDOWS:-0}" == 1 ]]; then
  windows=1
  packages+=(g++-mingw-w64-i686-posix libgcrypt-mingw-w64-dev googletest wine wine32:i386 locales)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -eq 0 ]]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if [[ $windows -eq 1 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "Missing packages. Run as root:" >&2
  echo "  apt-get install -y ${missing[*]}" >&2
  exit 1
fi
