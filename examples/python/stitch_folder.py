#!/usr/bin/env python3
"""Stitches a folder of screenshots, oldest first by name, into one image with zolt and cv2.

    python3 stitch_folder.py FOLDER OUTPUT.png [--stitcher page|basic|smart|borders]

Example, on the bundled samples:

    python3 examples/python/stitch_folder.py examples/captures page.png
"""

import argparse
import pathlib
import re
import sys
import warnings

import cv2

import zolt

IMAGE_SUFFIXES = {".png", ".jpg", ".jpeg", ".bmp", ".webp", ".tif", ".tiff"}


def natural_key(path):
    """'2.png' before '10.png', letters without regard to case."""
    return [int(part) if part.isdigit() else part.lower() for part in re.split(r"(\d+)", path.name)]


def read_frames(files):
    """The frames one by one, so that with a memory limit they never all sit in memory."""
    for file in files:
        frame = cv2.imread(str(file), cv2.IMREAD_COLOR)
        if frame is None:
            raise SystemExit(f"cannot read {file} as an image")
        yield frame


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder", type=pathlib.Path)
    parser.add_argument("output", type=pathlib.Path)
    parser.add_argument("--stitcher", default="page", choices=["page", "basic", "smart", "borders"])
    parser.add_argument("--memory-limit", type=int, default=None, metavar="MB")
    arguments = parser.parse_args()

    files = sorted((f for f in arguments.folder.iterdir() if f.suffix.lower() in IMAGE_SUFFIXES), key=natural_key)
    if not files:
        raise SystemExit(f"no images in {arguments.folder}")

    def show(fraction):
        print(f"\rstitching {len(files)} screenshots: {fraction:4.0%}", end="", file=sys.stderr)

    with warnings.catch_warnings(record=True) as warned:
        warnings.simplefilter("always", zolt.StitchWarning)
        try:
            image = zolt.stitch(read_frames(files), stitcher=arguments.stitcher,
                                memory_limit_mb=arguments.memory_limit, progress=show)
        except zolt.StitchError as error:
            raise SystemExit(f"\nstitching failed: {error}")
        except KeyboardInterrupt:
            raise SystemExit("\ncancelled")
    print(file=sys.stderr)
    for warning in warned:
        print(f"warning: {warning.message}", file=sys.stderr)

    if not cv2.imwrite(str(arguments.output), image):
        raise SystemExit(f"cannot write {arguments.output}")
    print(f"{arguments.output}: {image.shape[1]} x {image.shape[0]} pixels")


if __name__ == "__main__":
    main()
