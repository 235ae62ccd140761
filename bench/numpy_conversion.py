#!/usr/bin/env python3
"""The numeric conversions as a numpy user would write them, on 1M elements of the same kinds
and value distributions as bench/bench_conversion.cpp. Prints one line per measurement, the
fastest single call (of at least 20, over at least a twentieth of a second, as the C++ side
measures) in nanoseconds per element:
    convert <from> <to> <ns>          x.astype(to) for all 64 pairs
    scaleclipround <type> <ns> <how>  np.clip((x + o) * s, lo, hi), rounded, stored back in x
    offsetandscale <type> <ns>        x[...] = (x + o) * s
For the rounding the faster of np.rint and an away-from-zero expression is kept (<how> says
which), so numpy is given its best showing."""
import sys
import time

import numpy as np

ELEMENTS = 1 << 20
KINDS = ["float32", "float64", "int8", "int16", "int32", "uint8", "uint16", "uint32"]


def source(kind):
    rng = np.random.default_rng(42)
    dtype = np.dtype(kind)
    if dtype.kind == "f":
        return rng.uniform(-1e5, 1e5, ELEMENTS).astype(dtype)
    return rng.integers(0, 256, ELEMENTS * dtype.itemsize, dtype=np.uint8).view(dtype)


def best_ns_per_element(fn, calls=20, seconds=0.05):
    fn()  # warm up: first-touch of the result memory, code paths
    best = float("inf")
    made, began = 0, time.perf_counter()
    while made < calls or time.perf_counter() - began < seconds:
        start = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - start)
        made += 1
    return best * 1e9 / ELEMENTS


def scale_clip_round(x, rounding):
    unsigned = x.dtype.kind == "u"
    lo, hi = (10.0, 200.0) if unsigned else (-100.0, 100.0)
    y = np.clip((x + 0.5) * 1.5, lo, hi)
    if rounding == "rint":
        y = np.rint(y)
    else:
        y = np.copysign(np.floor(np.abs(y) + 0.5), y)
    x[...] = y


def offset_and_scale(x):
    x[...] = (x + 0.25) * 0.999


def main():
    with np.errstate(all="ignore"):
        for a in KINDS:
            x = source(a)
            for b in KINDS:
                ns = best_ns_per_element(lambda: x.astype(b))
                print(f"convert {a} {b} {ns:.4f}")
        for kind in KINDS:
            results = []
            for how in ("rint", "away"):
                x = source(kind)
                results.append((best_ns_per_element(lambda: scale_clip_round(x, how)), how))
            ns, how = min(results)
            print(f"scaleclipround {kind} {ns:.4f} {how}")
        for kind in KINDS:
            x = source(kind)
            print(f"offsetandscale {kind} {best_ns_per_element(lambda: offset_and_scale(x)):.4f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
