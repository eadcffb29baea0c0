#!/usr/bin/env python3
"""Stitches frames as they arrive, one by one, the way a capture loop hands them over.

A capture thread puts frames into a queue (here it replays a folder of screenshots, one every
100 ms; a real host would grab the screen with mss, Playwright or Selenium there). The main thread
adds each frame to a zolt.Stitcher as it comes, which measures it against the one before at once,
and writes the page stitched so far every few frames, as a live preview.

    python3 stitch_live.py FOLDER OUTPUT.png

Example, on the bundled samples:

    python3 examples/python/stitch_live.py examples/captures live.png
"""

import pathlib
import queue
import sys
import threading
import time
import warnings

import cv2

import zolt

PREVIEW_EVERY = 3


def capture(folder, frames):
    """Stands in for the capture loop: one frame every 100 ms, then None for the end."""
    for file in sorted(folder.glob("*.png")):
        time.sleep(0.1)
        frames.put(cv2.imread(str(file), cv2.IMREAD_COLOR))
    frames.put(None)


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    folder, output = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    frames = queue.Queue(maxsize=4)
    threading.Thread(target=capture, args=(folder, frames), daemon=True).start()

    stitcher = zolt.Stitcher(direction="vertical")
    warnings.simplefilter("always", zolt.StitchWarning)
    while (frame := frames.get()) is not None:
        stitcher.add(frame)
        moved = stitcher.translations[-1] if len(stitcher) > 1 else (0, 0)
        print(f"frame {len(stitcher)}: moved {moved[0]} rows, {moved[1]} columns")
        if len(stitcher) % PREVIEW_EVERY == 0:
            cv2.imwrite(str(output), stitcher.result())
    if len(stitcher) == 0:
        raise SystemExit(f"no PNG frames in {folder}")

    image = stitcher.result()
    cv2.imwrite(str(output), image)
    print(f"{output}: {len(stitcher)} frames, {image.shape[1]} x {image.shape[0]} pixels")


if __name__ == "__main__":
    main()
