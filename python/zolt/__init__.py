"""Scrolling capture for Python: stitch the screenshots of a scrolling window into one image.

Frames are NumPy arrays of uint8, oldest first: H x W x 3 (BGR, as cv2 gives them), H x W x 4
(BGRA) or H x W (grey); pass channel_order="rgb" for Pillow, Matplotlib or imageio arrays. The
library measures how far the content moved between frames and joins them, each frame adding only
what is new.

    import cv2, zolt
    frames = [cv2.imread(f"shot-{i}.png") for i in range(1, 6)]
    cv2.imwrite("page.png", zolt.stitch(frames))

stitch(frames, ...)        the whole series at once; returns the stitched image
translations(frames, ...)  only the (rows, cols) each frame moved against the one before it
Stitcher(...)              frames added one by one as they arrive (add, result, translations)

The default page stitcher shows the window frame and fixed and sticky elements once, where the
page puts them, with nothing transparent; "basic", "smart" and "borders" are the other
configurations. The GIL is released while the library works, progress callbacks run in the
calling thread, and returning False from one (or Ctrl-C) cancels. Failures raise StitchError with
the library's own message (StitchCancelled after a cancel); what the library warns about comes as
a StitchWarning. Bad input raises TypeError or ValueError.
"""

from ._zolt import (
    StitchCancelled,
    StitchError,
    Stitcher,
    StitchWarning,
    __version__,
    stitch,
    translations,
)

__all__ = [
    "stitch",
    "translations",
    "Stitcher",
    "StitchError",
    "StitchCancelled",
    "StitchWarning",
    "__version__",
]

for _name in ("stitch", "translations", "Stitcher", "StitchError", "StitchCancelled"):
    try:
        globals()[_name].__module__ = __name__
    except (AttributeError, TypeError):
        pass
del _name
