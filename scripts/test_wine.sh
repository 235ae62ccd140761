#!/usr/bin/env bash
# The Wine stage: runs the shipped Ombrel.dll for real, the one in the release package. Builds (or
# reuses) the Wine guest, hands it the programs the win32 build put under wine/ (Quor.exe with the
# packaged DLL and the stand-in driver, the end-to-end cases as a Windows test program, the dialog
# and USER32 cases), boots it, and reads the results back:
#   gtest    every test case of the program counts;
#   program  its exit status decides;
#   compare  Quor.exe's output and the files it wrote must equal those of the Linux quorsim
#            running the same command line against Ombrel.so (line ends aside: the Windows C
#            runtime writes text as CR LF; PNG files are compared by their decoded pixels).
# Prints "wine: N passed, M failed" and each failure's name; exits non-zero on any failure, and
# on a guest that cannot be built or booted.
#
# OMBREL_SKIP_WINE=1 skips the stage (for a developer's inner loop only; CI never sets it).
# OMBREL_BUILD_ROOT as in test_all.sh; the win32 build must be built, and for compare lines the
# native build (or the main job's build) must have quorsim and Ombrel.so.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${OMBREL_SKIP_WINE:-}" = 1 ]; then
  echo "wine: skipped (OMBREL_SKIP_WINE=1)"
  exit 0
fi

build_root="${OMBREL_BUILD_ROOT:-build}"
wine_dir="$build_root/win32/wine"
mkdir -p "$build_root/wine-stage"
stage_dir="$(cd "$build_root/wine-stage" && pwd)"
started=$(date +%s)
elapsed() { echo "$(($(date +%s) - started)) s"; }

if [ ! -f "$wine_dir/tests.list" ]; then
  echo "wine: $wine_dir/tests.list is missing: build the win32 preset first" >&2
  exit 1
fi

if ! bash scripts/wine_guest.sh; then
  echo "wine: FAILED: the Wine guest could not be built" >&2
  exit 1
fi
echo "wine: guest ready ($(elapsed))"

# The payload: the programs and the guest's runner. The share is the payload folder itself.
rm -rf "$stage_dir/payload" "$stage_dir/linux"
mkdir -p "$stage_dir/payload/programs"
cp -r "$wine_dir"/. "$stage_dir/payload/programs/"
rm -f "$stage_dir/payload/programs/tests.list.new"
install -m 0755 scripts/wine_stage_guest.sh "$stage_dir/payload/run.sh"

# The file that ships is the file that is tested: every Ombrel.dll the programs load is the one
# taken out of the release package, after the package's SHA256SUMS have been checked.
package=("$build_root"/win32/release/Ombrel-*-win32.zip)
if [ ! -f "${package[0]}" ]; then
  echo "wine: FAILED: no release package in $build_root/win32/release/: build the win32 preset" >&2
  exit 1
fi
rm -rf "$stage_dir/package"
python3 -m zipfile -e "${package[0]}" "$stage_dir/package"
shipped="$stage_dir/package/$(basename "${package[0]}" .zip)"
if ! (cd "$shipped" && sha256sum --quiet -c SHA256SUMS); then
  echo "wine: FAILED: the files of $(basename "${package[0]}") do not match its SHA256SUMS" >&2
  exit 1
fi
copies=0
while IFS= read -r -d '' dll; do
  cp "$shipped/Ombrel.dll" "$dll"
  copies=$((copies + 1))
done < <(find "$stage_dir/payload/programs" -name Ombrel.dll -print0)
if [ "$copies" -eq 0 ]; then
  echo "wine: FAILED: no program folder holds an Ombrel.dll to test" >&2
  exit 1
fi
echo "wine: testing Ombrel.dll from $(basename "${package[0]}") in $copies folders"

guest_status=0
bash scripts/wine_run.sh "$stage_dir/payload" "${OMBREL_WINE_GUEST_SECONDS:-1500}" || guest_status=$?
out="$stage_dir/payload/out"
echo "wine: guest finished ($(elapsed))"
if [ "$guest_status" -eq 125 ]; then
  echo "wine: FAILED: the Wine guest did not boot or did not come back with results" >&2
  exit 1
fi

# The Linux side of the compare lines.
linux_quorsim=""
for candidate in "$build_root/native/quorsim" "${OMBREL_BUILD_DIR:-build/main}/quorsim"; do
  if [ -x "$candidate" ]; then linux_quorsim="$(cd "$(dirname "$candidate")" && pwd)/quorsim"; break; fi
done

passed=0
failed=0
failures=()
fail() { failed=$((failed + 1)); failures+=("$1"); }

while IFS=$'\t' read -r name folder kind command; do
  [ -n "$name" ] || continue
  log="$out/$name.log"
  status="$(cat "$out/$name.status" 2>/dev/null || echo missing)"
  case "$kind" in
    gtest)
      ok=$(grep -cE '^\[       OK \] ' "$log" 2>/dev/null || true)
      mapfile -t bad < <(grep -E '^\[  FAILED  \] [A-Za-z0-9_/.]+ \(' "$log" 2>/dev/null | sed -E 's/^\[  FAILED  \] ([^ ]+) .*/\1/' || true)
      passed=$((passed + ok))
      for case_name in "${bad[@]}"; do fail "$name: $case_name"; done
      if [ "$status" != 0 ] && [ "${#bad[@]}" -eq 0 ]; then fail "$name (exit status $status)"; fi
      if [ "$status" = 0 ] && [ "$ok" -eq 0 ]; then fail "$name (no test case ran)"; fi
      ;;
    program)
      if [ "$status" = 0 ]; then passed=$((passed + 1)); else fail "$name (exit status $status)"; fi
      ;;
    compare)
      if [ -z "$linux_quorsim" ]; then
        fail "$name (no Linux quorsim to compare with: build the native preset)"
        continue
      fi
      linux_out="$stage_dir/linux/$name"
      rm -rf "$linux_out"
      mkdir -p "$linux_out/files"
      read -r -a words <<<"${command//@OUT@/$linux_out/files}"
      linux_status=0
      (cd "$stage_dir/payload/programs/$folder" && "$linux_quorsim" "${words[@]:1}") \
        >"$linux_out/stdout" 2>"$linux_out/stderr" || linux_status=$?
      # The Linux program's output folder is named like the guest's, so the texts that name it agree.
      if python3 tools/compare_runs.py "$linux_out" "$linux_status" "$out" "$name" "$status"; then
        passed=$((passed + 1))
      else
        fail "$name (Quor.exe under Wine differs from quorsim on Linux)"
      fi
      ;;
    *)
      fail "$name (unknown kind $kind)"
      ;;
  esac
done <"$stage_dir/payload/programs/tests.list"

echo "wine: $passed passed, $failed failed ($(elapsed) in all)"
for f in "${failures[@]}"; do echo "wine: FAILED: $f"; done
[ "$failed" -eq 0 ]
