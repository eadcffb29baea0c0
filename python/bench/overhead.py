#!/usr/bin/env python3
"""The cost of calling the library from Python: zolt.stitch on a 20-frame 1080p window series
against the same stitch from C++ (bench_host_stitch: frames converted from BGR, the page stitch
on two threads, the result converted back to BGR), on the same frames.

    PYTHONPATH=build/python python3 python/bench/overhead.py build/bench/bench_host_stitch
"""

import json
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time
import warnings

import cv2

import zolt
from frames import window_series

# The machine may be shared: the fastest of several runs is the steadiest figure of each side.
RUNS = 7


def cpp_seconds(binary, folder):
    report = subprocess.run([binary, "--benchmark_format=json"], check=True, capture_output=True, text=True,
                            env={**os.environ, "ZOLT_BENCH_FRAMES": folder}).stdout
    fastest = {}
    for run in json.loads(report)["benchmarks"]:
        if run.get("run_type") == "iteration":
            name = run["name"].split("/")[0]
            fastest[name] = min(fastest.get(name, float("inf")), run["real_time"])
    return fastest


def python_seconds(frames):
    times = []
    for _ in range(RUNS):
        start = time.perf_counter()
        zolt.stitch(frames, threads=2)
        times.append(time.perf_counter() - start)
    return min(times), statistics.median(times)


def main():
    binary = sys.argv[1] if len(sys.argv) > 1 else "build/bench/bench_host_stitch"
    warnings.simplefilter("ignore", zolt.StitchWarning)
    with tempfile.TemporaryDirectory(prefix="zolt-overhead-") as folder:
        for index, frame in enumerate(window_series(20)):
            cv2.imwrite(str(pathlib.Path(folder) / f"{index:03}.png"), frame)
        frames = [cv2.imread(str(f)) for f in sorted(pathlib.Path(folder).glob("*.png"))]
        cpp = cpp_seconds(binary, folder)
        best, median = python_seconds(frames)
    host = cpp["BM_HostPageStitch"]
    print(f"fastest of {RUNS} runs each")
    print(f"C++, stitch only:            {cpp['BM_PageStitchOnly']:.3f} s")
    print(f"C++, with the conversions:   {host:.3f} s")
    print(f"zolt.stitch:                 {best:.3f} s (median {median:.3f} s)")
    print(f"overhead:                    {100 * (best / host - 1):+.1f} %")


if __name__ == "__main__":
    main()
