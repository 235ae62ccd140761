#!/usr/bin/env python3
"""The 8-bit windowing as a user of numpy would write it, on a 1280 x 1024 12-bit picture of
the same kind the C++ benchmark uses. Prints one line per window: name and microseconds per
picture (best of several repetitions), for the table of bench/run_window8.sh."""
import sys
import time

import numpy as np

WIDTH, HEIGHT = 1280, 1024
WINDOWS = [("normal", 0.0, 4096.0), ("inverted", 4095.0, 0.0), ("narrow", 100.0, 101.0),
           ("equal", 7.0, 7.0), ("huge", -1e308, 1e308), ("nan", float("nan"), 4096.0)]


def picture():
    y, x = np.mgrid[0:HEIGHT, 0:WIDTH]
    rng = np.random.default_rng(12345)
    v = 2048 + 1500 * np.sin(x * 0.01) * np.cos(y * 0.013) + rng.integers(0, 64, size=(HEIGHT, WIDTH))
    return np.clip(v, 0, 4095).astype(np.uint16)


def window(img, low, high):
    scaled = (img.astype(np.float64) - low) * 256.0 / (high - low)
    return np.clip(np.trunc(scaled), 0, 255).astype(np.uint8)


def best_time(fn, repeats=15):
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - start)
    return best


def main():
    img = picture()
    with np.errstate(all="ignore"):
        for name, low, high in WINDOWS:
            seconds = best_time(lambda: window(img, low, high))
            print(f"{name} {seconds * 1e6:.1f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
