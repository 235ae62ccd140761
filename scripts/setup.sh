#!/usr/bin/env bash
# Installs everything the three builds, the tests and the benchmarks need, from Debian's packages.
# Safe to run again: apt skips what is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ g++-multilib clang libclang-rt-14-dev
  qemu-user-static
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  googletest libgtest-dev libbenchmark-dev
  libpng-dev zlib1g-dev libz-mingw-w64-dev
  python3 python3-numpy
  qemu-system-x86 debootstrap e2fsprogs   # the Wine guest
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: need root to install: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The Debian python3-numpy lives under /usr/bin/python3; a python3 earlier on PATH may not have it.
/usr/bin/python3 -c 'import numpy' >/dev/null
echo "setup: all build tools present"
