#!/usr/bin/env python3
"""Peak memory of a 200-frame series through the memory-bounded store: frames from a generator
(800 x 600, scrolled 150 rows a step), memory_limit_mb=20, two threads, the page stitcher, against
the budget

    store budget + 2 x result (the library's RGBA and the returned BGR array) + 3 captures
    + 2 threads x one pair's working set (taken as 8 captures)

measured as the peak resident size above the size before the first frame. Each configuration runs
in a child process of its own.

    PYTHONPATH=build/python python3 python/bench/memory.py
"""

import resource
import subprocess
import sys

MIB = 1024 * 1024
FRAMES, WIDTH, HEIGHT, STEP, LIMIT = 200, 800, 600, 150, 20


def child(limit):
    import warnings
    import zolt
    from frames import window_series

    warnings.simplefilter("ignore", zolt.StitchWarning)
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
    image = zolt.stitch(window_series(FRAMES, (WIDTH, HEIGHT), STEP), threads=2,
                        memory_limit_mb=None if limit == "none" else int(limit))
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
    print(image.shape[0], (peak - before) / MIB)


def main():
    if len(sys.argv) > 1:
        return child(sys.argv[1])
    capture = WIDTH * HEIGHT * 4
    for limit in (str(LIMIT), "none"):
        rows, peak = subprocess.run([sys.executable, __file__, limit], check=True, capture_output=True,
                                    text=True).stdout.split()
        result = int(rows) * WIDTH * (4 + 3)
        goal = (LIMIT * MIB + result + 3 * capture + 2 * 8 * capture) / MIB
        print(f"memory_limit_mb={limit}: result {rows} rows, peak {float(peak):.0f} MiB"
              + (f", goal {goal:.0f} MiB, within: {float(peak) <= goal}" if limit != "none" else ""))


if __name__ == "__main__":
    main()
