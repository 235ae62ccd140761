#!/usr/bin/env bash
# Makes the release package: configures the win32 preset, builds only the DLL and its package,
# and prints what the package holds. It builds in its own folder, without the tests, so a
# machine with only the release tools can make it: the zip is
# build/win32-release/release/Ombrel-<version>-win32.zip (OMBREL_BUILD_ROOT moves build/, as in
# test_all.sh). Every build of the win32 preset makes the same package in build/win32/release/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh release
dir="${OMBREL_BUILD_ROOT:-build}/win32-release"
cmake --preset win32 -B "$dir" -DOMBREL_TESTS=OFF
cmake --build "$dir" --target ombrel_release --parallel 2
python3 -m zipfile -l "$dir"/release/Ombrel-*-win32.zip
