#!/usr/bin/env bash
# The 8-bit windowing table: the module's kernel, the literal per-pixel loop, the numpy
# expression a user would write, and memcpy of the 16-bit picture, measured in one run on the
# same 1280 x 1024 picture, with the ratios.
#   bench/run_window8.sh [build dir of the bench preset]     (default build/bench)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/bench}"
json="$(mktemp)"
trap 'rm -f "$json"' EXIT
"$build/bench/bench_window8" --benchmark_format=json --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true >"$json"
numpy="$(/usr/bin/python3 bench/numpy_window8.py)"
/usr/bin/python3 - "$json" "$numpy" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
def median(prefix, arg=None):
    name = f"{prefix}/{arg}_median" if arg is not None else f"{prefix}_median"
    for r in runs:
        if r["name"] == name:
            return r["real_time"]  # microseconds
    return None
numpy = dict(line.split() for line in sys.argv[2].splitlines())
names = ["normal", "inverted", "narrow", "equal", "huge", "nan"]
floor = median("BM_Memcpy16BitPicture")
print(f"{'window':<10}{'kernel us':>11}{'literal us':>12}{'numpy us':>10}{'memcpy us':>11}"
      f"{'literal/kernel':>16}{'numpy/kernel':>14}{'kernel/memcpy':>15}")
for i, n in enumerate(names):
    k, l = median("BM_WindowKernel", i), median("BM_WindowLiteralLoop", i)
    npy = float(numpy[n]) if n in numpy else None
    npy_s = f"{npy:10.0f}" if npy else f"{'-':>10}"
    ratio = f"{npy / k:14.1f}" if npy else f"{'-':>14}"
    print(f"{n:<10}{k:11.0f}{l:12.0f}{npy_s}{floor:11.0f}{l / k:16.1f}{ratio}{k / floor:15.1f}")
PY
