#!/usr/bin/env bash
# The conversion table: ConvertElements for all 64 pairs of element kinds on 1M elements (in
# separate buffers and in place), ScaleClipRound and OffsetAndScale for every real type, beside
# numpy doing the same and memcpy of the larger side (the floor). Times are nanoseconds per
# element of the fastest single call on both sides (the call least disturbed by other work on a
# shared machine), over three rounds that each run our side and then numpy's, so that a busy
# spell of the machine does not fall on one side only; the in-place conversions are timed there
# and back on one buffer, without refills. The ratios are throughputs, so ours/numpy >= 1 means
# at least numpy's speed and ours/floor 1 means memcpy speed. A second table has the transforms
# on 32M elements, beyond the caches, beside memcpy of as many: there the floor is memory's
# speed, where on 1M elements it is the caches'. Takes about a minute and a half.
#   bench/run_conversion.sh [build dir of the bench preset] [rounds]     (default build/bench, 3)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/bench}"
rounds="${2:-3}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
for round in $(seq "$rounds"); do
  "$build/bench/bench_conversion" --benchmark_format=json --benchmark_min_time=0.05 >"$work/ours.$round.json"
  /usr/bin/python3 bench/numpy_conversion.py >"$work/numpy.$round.txt"
done
/usr/bin/python3 - "$work" "$rounds" <<'PY'
import json, sys
KINDS = ["float32", "float64", "int8", "int16", "int32", "uint8", "uint16", "uint32"]
WIDTH = {"float32": 4, "float64": 8, "int8": 1, "int16": 2, "int32": 4, "uint8": 1, "uint16": 2, "uint32": 4}
work, rounds = sys.argv[1], int(sys.argv[2])

def keep_fastest(table, key, ns):
    table[key] = min(ns, table.get(key, float("inf")))

best, npy = {}, {}
for round in range(1, rounds + 1):
    for r in json.load(open(f"{work}/ours.{round}.json"))["benchmarks"]:
        name = r["run_name"].removesuffix("/manual_time")
        if name.startswith("BM_ConvertInPlace/"):  # one pair of kinds there and back
            _, a, b = name.split("/")
            keep_fastest(best, f"BM_ConvertInPlace/{a}/{b}", r["there"])
            keep_fastest(best, f"BM_ConvertInPlace/{b}/{a}", r["back"])
        else:
            keep_fastest(best, name, r["ns"])
    for line in open(f"{work}/numpy.{round}.txt"):
        f = line.split()
        key = tuple(f[:-1] if f[0] == "convert" or f[0] == "offsetandscale" else f[:2])
        keep_fastest(npy, key, float(f[3] if f[0] == "convert" else f[2]))

SMALL, LARGE = 1 << 20, 1 << 25  # elements: within the caches, and beyond them

def floor(width, elements=SMALL):
    return best[f"BM_Memcpy/{width}/{elements}"]

rows, misses = [], []
def add(name, mode, ours, theirs, width, moved):
    fl = floor(width)
    rows.append((name, mode, ours, moved / ours, theirs, fl, theirs / ours if theirs else None, fl / ours))
    if theirs and theirs / ours < 1.0:
        misses.append(f"{name} ({mode}): {theirs / ours:.2f}x numpy")

for i, a in enumerate(KINDS):
    for j, b in enumerate(KINDS):
        moved = WIDTH[a] + WIDTH[b]
        width = max(WIDTH[a], WIDTH[b])
        theirs = npy[("convert", a, b)]
        add(f"{a} -> {b}", "separate", best[f"BM_Convert/{i}/{j}"], theirs, width, moved)
        if a != b:  # the same kind in place is no work at all
            add(f"{a} -> {b}", "in place", best[f"BM_ConvertInPlace/{i}/{j}"], theirs, width, moved)
for i, k in enumerate(KINDS):
    add(f"ScaleClipRound {k}", "in place", best[f"BM_ScaleClipRound/{i}/{SMALL}"], npy[("scaleclipround", k)],
        WIDTH[k], 2 * WIDTH[k])
for i, k in enumerate(KINDS):
    add(f"OffsetAndScale {k}", "in place", best[f"BM_OffsetAndScale/{i}/{SMALL}"], npy[("offsetandscale", k)],
        WIDTH[k], 2 * WIDTH[k])

print(f"{'pair':<26}{'mode':<10}{'ours ns/elt':>12}{'ours GB/s':>10}{'numpy ns/elt':>13}{'floor ns/elt':>13}"
      f"{'ours/numpy':>11}{'ours/floor':>11}")
for name, mode, ours, gbs, theirs, fl, vs_numpy, vs_floor in rows:
    print(f"{name:<26}{mode:<10}{ours:12.3f}{gbs:10.1f}{theirs:13.3f}{fl:13.3f}{vs_numpy:11.2f}{vs_floor:11.2f}")
same = [r for r in rows if r[0].split(" -> ")[0] == r[0].split(" -> ")[-1] and r[1] == "separate"]
print()
print("same-kind copies at memcpy speed (ours/floor): " + ", ".join(f"{r[0].split()[0]} {r[7]:.2f}" for r in same))
print("below numpy: " + ("; ".join(misses) if misses else "none"))
print()
print(f"the transforms on {LARGE >> 20}M elements, beyond the caches, beside memcpy of as many (the memory floor):")
print(f"{'transform':<26}{'ours ns/elt':>12}{'ours GB/s':>10}{'floor ns/elt':>13}{'ours/floor':>11}")
for name in ("ScaleClipRound", "OffsetAndScale"):
    for i, k in enumerate(KINDS):
        ours, fl = best[f"BM_{name}/{i}/{LARGE}"], floor(WIDTH[k], LARGE)
        print(f"{name + ' ' + k:<26}{ours:12.3f}{2 * WIDTH[k] / ours:10.1f}{fl:13.3f}{fl / ours:11.2f}")
print()
print("ScaleClipRound on the 2-byte kinds with steps single precision cannot hold (done in doubles):")
for i, k in enumerate(KINDS):
    if WIDTH[k] != 2 or k.startswith("float"):
        continue
    for elements in (SMALL, LARGE):
        ours, fl = best[f"BM_ScaleClipRoundUnheldInFloats/{i}/{elements}"], floor(2, elements)
        print(f"{k + ' on ' + str(elements >> 20) + 'M':<26}{ours:12.3f}{4 / ours:10.1f}{fl:13.3f}{fl / ours:11.2f}")
PY
