#!/usr/bin/env bash
# The main job: installs the tools, builds the module with its stand-ins (plain optimised
# build, no tests, no sanitizers) and runs the simulated host on the camera demo script, which
# takes pictures through Ombrel's external functions and writes them as PNG files.
#   scripts/main_job.sh [quorsim options] [script.qsc]
# The script defaults to examples/camera_demo.qsc; the pictures go to out/ in the repository
# (--out or OMBREL_OUT_DIR moves them, OMBREL_BUILD_DIR the build). Paths given on the command line or
# in those variables are taken from the current folder. Options such as --keep-going and
# --trace go to quorsim as they are (quorsim --help lists them). The job writes the pictures
# the script saves and removes nothing; it lists the ones this run wrote.
# OMBREL_QUORSIM=PATH runs that quorsim instead of installing and building one.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"

# quorsim's options that take a value; every other word that starts with - stands alone.
options=()
script=""
out_given=""
while [ $# -gt 0 ]; do
  case "$1" in
    --module|--version|--version-file|--record-size|--out)
      if [ $# -lt 2 ]; then
        echo "main_job: $1 needs a value" >&2
        exit 2
      fi
      if [ "$1" = --out ]; then out_given="$2"; else options+=("$1" "$2"); fi
      shift 2
      continue
      ;;
    -?*) options+=("$1") ;;
    *)
      if [ -n "$script" ]; then
        echo "main_job: one script at a time ($script, $1)" >&2
        exit 2
      fi
      script="$1"
      ;;
  esac
  shift
done
script="${script:-$repo/examples/camera_demo.qsc}"
out="${out_given:-${OMBREL_OUT_DIR:-$repo/out}}"

program="${OMBREL_QUORSIM:-}"
if [ -z "$program" ]; then
  (cd "$repo" && bash scripts/setup.sh main)
  build="${OMBREL_BUILD_DIR:-$repo/build/main}"
  cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOMBREL_TESTS=OFF
  cmake --build "$build" -j2
  # quorsim sits at the top of the build, beside Ombrel.so, which it loads by default.
  program="$build/quorsim"
fi
if [ ! -x "$program" ]; then
  echo "main_job: the quorsim program $program was not built" >&2
  exit 1
fi

# A mark of the run's start: the pictures written after it are this run's. It lives outside
# the output folder and goes with the job.
mkdir -p "$out"
started="$(mktemp)"
trap 'rm -f "$started"' EXIT
status=0
"$program" "${options[@]}" --out "$out" "$script" || status=$?

mapfile -t pictures < <(find "$out" -type f -name '*.png' -newer "$started" | sort)
if [ "${#pictures[@]}" -eq 0 ]; then
  echo "main_job: no PNG written in $out/" >&2
  exit $((status != 0 ? status : 1))
fi
echo "main_job: pictures written in $out/:"
ls -l "${pictures[@]}"
exit "$status"
