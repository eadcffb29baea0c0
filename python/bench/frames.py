"""A synthetic window series for the benchmarks: a page of text-like lines scrolled under a fixed
window frame (title bar, toolbar, status bar, scrollbar), made frame by frame, so that a long
series never sits in memory as a whole."""

import numpy as np

LINE = 24
TITLE, TOOLBAR, STATUS, SCROLLBAR = 30, 60, 30, 16


def page_part(top, rows, cols, seed=7):
    """Rows [top, top + rows) of the page: lines of word-sized dark blocks on a light ground."""
    part = np.full((rows, cols, 3), 245, np.uint8)
    for line in range(top // LINE, (top + rows) // LINE + 1):
        rng = np.random.default_rng((seed, line))
        y0, y1 = max(line * LINE + 6 - top, 0), min(line * LINE + 18 - top, rows)
        if y0 >= y1 or rng.random() < 0.15:
            continue
        x = 20 + int(rng.integers(0, 40))
        while x < cols - 120:
            width = int(rng.integers(15, 90))
            part[y0:y1, x:x + width] = rng.integers(20, 120, 3)
            x += width + int(rng.integers(6, 14))
    return part


def window_series(count, size=(1920, 1080), step=300, seed=7):
    """`count` BGR frames of `size` (width, height), the page scrolled `step` rows between them."""
    width, height = size
    viewport = height - TITLE - TOOLBAR - STATUS
    total = viewport + (count - 1) * step
    for index in range(count):
        frame = np.empty((height, width, 3), np.uint8)
        frame[:TITLE] = (60, 40, 30)
        frame[TITLE:TITLE + TOOLBAR] = (225, 225, 225)
        frame[TITLE + 10:TITLE + 50, 200:1200] = 255
        frame[height - STATUS:] = (200, 200, 200)
        top = index * step
        frame[TITLE + TOOLBAR:height - STATUS, :width - SCROLLBAR] = page_part(top, viewport, width - SCROLLBAR, seed)
        track = frame[TITLE + TOOLBAR:height - STATUS, width - SCROLLBAR:]
        track[:] = 235
        thumb = max(viewport * viewport // total, 20)
        start = (viewport - thumb) * top // max(total - viewport, 1)
        track[start:start + thumb, 3:-3] = 150
        yield frame
