#!/usr/bin/env bash
# Every test of the project: installs the tools, then configures, builds and tests the three
# presets one after the other with two jobs each (native: ASan+UBSan; i686: the 32-bit
# layouts under qemu-i386-static; win32: the shipped DLL and its release package, checked
# structurally and built a second time to compare, then the packaged DLL run for real under Wine
# in an emulated guest by scripts/test_wine.sh), and runs the fuzz targets of
# the native build briefly if there are any. Each test binary runs once.
# Exits non-zero if any step fails; the last line sums the tests of the three presets.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh all

read -r -a presets <<<"${OMBREL_PRESETS:-native i686 win32}"   # all three unless narrowed
build_root="${OMBREL_BUILD_ROOT:-build}"   # each preset builds in $build_root/<preset>
fuzz_seconds="${OMBREL_FUZZ_SECONDS:-10}"
failed_steps=()
total_passed=0
total_failed=0
logs="$(mktemp -d)"
trap 'rm -rf "$logs"' EXIT

step() {  # step NAME COMMAND...: runs the command, records NAME if it fails
  local name="$1"; shift
  echo "=== $name: $*"
  if ! "$@"; then
    failed_steps+=("$name")
    return 1
  fi
}

for preset in "${presets[@]}"; do
  dir="$build_root/$preset"
  step "$preset configure" cmake --preset "$preset" -B "$dir" || continue
  step "$preset build" cmake --build "$dir" --parallel 2 || continue
  log="$logs/$preset.txt"
  status=0
  ctest --test-dir "$dir" --parallel 2 --output-on-failure 2>&1 | tee "$log" || status=$?
  summary="$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)"
  if [ -n "$summary" ]; then
    failed="$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")"
    count="$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$summary")"
    total_failed=$((total_failed + failed))
    total_passed=$((total_passed + count - failed))
  fi
  if [ "$status" -ne 0 ] || [ -z "$summary" ]; then
    failed_steps+=("$preset tests")
  fi
  echo "=== $preset: ${summary:-no test summary}"

  if [ "$preset" = win32 ]; then
    # The Wine stage: the DLL for real, in the emulated guest (OMBREL_SKIP_WINE=1 skips it).
    log="$logs/wine.txt"
    status=0
    bash scripts/test_wine.sh 2>&1 | tee "$log" || status=$?
    summary="$(grep -E '^wine: [0-9]+ passed, [0-9]+ failed' "$log" | tail -n 1 || true)"
    if [ -n "$summary" ]; then
      total_passed=$((total_passed + $(sed -E 's/^wine: ([0-9]+) passed.*/\1/' <<<"$summary")))
      total_failed=$((total_failed + $(sed -E 's/^wine: [0-9]+ passed, ([0-9]+) failed.*/\1/' <<<"$summary")))
    fi
    if [ "$status" -ne 0 ]; then failed_steps+=("wine stage"); fi
  fi

  if [ "$preset" = native ]; then
    # libFuzzer targets of the native build, each for a short while on a fresh corpus.
    mapfile -t fuzzers < <(find "$build_root/native" -type f -name '*fuzz*' ! -name '*.*' -perm -u+x | sort)
    for fuzzer in "${fuzzers[@]}"; do
      corpus="$logs/corpus-$(basename "$fuzzer")"
      mkdir -p "$corpus"
      # The seed corpus kept in the repo (tests/<folder>/corpus/<fuzzer name>/), copied so the
      # run never writes into the checkout.
      for seeds in tests/*/corpus/"$(basename "$fuzzer")"; do
        [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/
      done
      name="fuzz $(basename "$fuzzer")"
      echo "=== $name: ${fuzz_seconds} s"
      if "$fuzzer" -max_total_time="$fuzz_seconds" -print_final_stats=1 "$corpus" >"$logs/fuzz.txt" 2>&1; then
        grep -E '^stat::number_of_executed_units' "$logs/fuzz.txt" || true
      else
        tail -n 60 "$logs/fuzz.txt"
        failed_steps+=("$name")
      fi
    done
    [ "${#fuzzers[@]}" -gt 0 ] || echo "=== native: no fuzz targets built"
  fi
done

if [ "${#failed_steps[@]}" -gt 0 ]; then
  echo "test_all: FAILED: ${failed_steps[*]}"
else
  echo "test_all: all presets passed"
fi
echo "total: $total_passed passed, $total_failed failed"
[ "${#failed_steps[@]}" -eq 0 ]
