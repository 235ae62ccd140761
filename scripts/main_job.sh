#!/usr/bin/env bash
# The main job: installs the tools, builds the module with its stand-ins (plain optimised
# build, no tests, no sanitizers) and runs the simulated host on the camera demo script, which
# takes pictures through Ombrel's external functions and writes them as PNG files.
#   scripts/main_job.sh [script.qsc]      (default examples/camera_demo.qsc; output in out/)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

build="${OMBREL_BUILD_DIR:-build/main}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOMBREL_TESTS=OFF
cmake --build "$build" -j2

# quorsim sits at the top of the build, beside Ombrel.so, which it loads by default.
program="$build/quorsim"
if [ ! -x "$program" ]; then
  program="$(find "$build" -type f -name quorsim -perm -u+x | head -n 1)"
fi
if [ -z "$program" ] || [ ! -x "$program" ]; then
  echo "main_job: the quorsim program was not built" >&2
  exit 1
fi

script="${1:-examples/camera_demo.qsc}"
out="${OMBREL_OUT_DIR:-out}"
mkdir -p "$out"
shopt -s nullglob
rm -f "$out"/*.png            # so the list below shows this run's pictures only
"$program" --out "$out" "$script"

pictures=("$out"/*.png)
if [ "${#pictures[@]}" -eq 0 ]; then
  echo "main_job: no PNG written in $out/" >&2
  exit 1
fi
echo "main_job: pictures written in $out/:"
ls -l "${pictures[@]}"
