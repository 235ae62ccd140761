#!/usr/bin/env bash
# Installs what a command of the project needs, from Debian's packages. Safe to run again: apt
# skips what is already there.
#   scripts/setup.sh main      the main job: the native build of the module and its stand-ins
#   scripts/setup.sh release   the release package: the cross compiler for the DLL
#   scripts/setup.sh [all]     every build, test and benchmark, and the Wine guest's tools
set -euo pipefail

group="${1:-all}"
# The Linux build compiles the resource script too: windres, with the C cross compiler as its
# preprocessor (and Windows' resource headers), but not the C++ cross compiler.
main_packages=(cmake ninja-build g++ zlib1g-dev binutils-mingw-w64-i686 gcc-mingw-w64-i686-win32)
release_packages=(g++-mingw-w64-i686 libz-mingw-w64-dev python3)
case "$group" in
  main) packages=("${main_packages[@]}") ;;
  release) packages=("${main_packages[@]}" "${release_packages[@]}") ;;
  all)
    packages=(
      "${main_packages[@]}" "${release_packages[@]}"
      g++-multilib clang libclang-rt-14-dev
      qemu-user-static
      googletest libgtest-dev libbenchmark-dev
      libpng-dev python3-numpy
      qemu-system-x86 debootstrap e2fsprogs   # the Wine guest
    ) ;;
  *) echo "usage: setup.sh [main|release|all]" >&2; exit 2 ;;
esac

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

if [ "$group" = all ]; then
  # The Debian python3-numpy lives under /usr/bin/python3; a python3 earlier on PATH may not have it.
  /usr/bin/python3 -c 'import numpy' >/dev/null
fi
echo "setup: the tools for '$group' are present"
