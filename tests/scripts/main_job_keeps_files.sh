#!/usr/bin/env bash
# The main job's run step on an already built quorsim, from a folder of the user's: the script
# path and the output folder are taken from that folder, the demo's pictures land beside a
# picture the user keeps there, and that picture is left as it was.
#   main_job_keeps_files.sh REPOSITORY QUORSIM
set -euo pipefail
repo="$1" quorsim="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/pictures"
printf 'a picture of the user' > "$work/pictures/mine.png"
cp "$repo/examples/camera_demo.qsc" "$work/demo.qsc"
cd "$work"
if ! OMBREL_QUORSIM="$quorsim" OMBREL_OUT_DIR=pictures "$repo/scripts/main_job.sh" demo.qsc > log 2>&1; then
  cat log
  echo "FAIL: the main job failed"
  exit 1
fi
if [ "$(cat pictures/mine.png 2>/dev/null)" != 'a picture of the user' ]; then
  echo "FAIL: the main job deleted or changed a file it did not write"
  exit 1
fi
if [ ! -s pictures/raw12.png ] || grep -q 'mine.png' log; then
  cat log
  echo "FAIL: the main job's list is not the pictures of this run"
  exit 1
fi
