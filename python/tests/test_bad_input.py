"""Every kind of bad input raises a clear TypeError or ValueError (or OSError for a spill folder),
and nothing is left behind."""

import numpy as np
import pytest

import zolt

FRAME = np.zeros((40, 30, 3), np.uint8)


def broken_generator():
    yield FRAME
    raise RuntimeError("the camera went away")


@pytest.mark.parametrize(
    "frames, arguments, error, message",
    [
        ([], {}, ValueError, "no frames to stitch"),
        (FRAME, {}, TypeError, "not a single array"),
        (5, {}, TypeError, "not iterable"),
        (["a.png"], {}, TypeError, "frame 0 has dtype <U5; frames must be uint8"),
        ([None], {}, TypeError, "frame 0 has dtype object"),
        ([FRAME, FRAME.astype(np.float32)], {}, TypeError, "frame 1 has dtype float32"),
        ([FRAME.astype(np.uint16)], {}, TypeError, "dtype uint16"),
        ([np.zeros((40, 30, 2), np.uint8)], {}, ValueError, r"shape \(40, 30, 2\); frames are H x W"),
        ([np.zeros(40, np.uint8)], {}, ValueError, r"shape \(40,\)"),
        ([np.zeros((0, 30, 3), np.uint8)], {}, ValueError, "frame 0 is empty"),
        ([np.zeros((8193, 8192), np.uint8)], {}, ValueError, "more than the 67108864 pixels"),
        ([FRAME, FRAME[:20]], {}, ValueError, "frame 1 has shape \\(20, 30, 3\\), but frame 0 is 40 x 30 with 3"),
        ([FRAME, FRAME[..., 0]], {}, ValueError, "all frames must have the same shape"),
        (broken_generator(), {}, RuntimeError, "the camera went away"),
        ([FRAME], {"stitcher": "fancy"}, ValueError, "stitcher must be one of 'page', 'basic', 'smart', 'borders'"),
        ([FRAME], {"direction": "up"}, ValueError, "direction must be one of"),
        ([FRAME], {"channel_order": "bgra"}, ValueError, "channel_order must be one of 'bgr', 'rgb'"),
        ([FRAME], {"threads": 0}, ValueError, "threads must be from 1 to 1024, not 0"),
        ([FRAME], {"threads": "two"}, TypeError, "incompatible function arguments"),
        ([FRAME], {"memory_limit_mb": -1}, ValueError, "memory_limit_mb must be 0 or more"),
        ([FRAME], {"spill_dir": "/nonexistent/folder"}, NotADirectoryError, "'/nonexistent/folder' is not a folder"),
    ],
)
def test_bad_input_is_refused_with_what_is_wrong(frames, arguments, error, message):
    for call in (zolt.stitch, zolt.translations):
        with pytest.raises(error, match=message):
            call(frames, **arguments)
        if not isinstance(frames, list):
            break


def test_a_stitcher_refuses_a_frame_but_keeps_the_ones_it_has():
    live = zolt.Stitcher(stitcher="basic")
    live.add(FRAME)
    with pytest.raises(ValueError, match="frame 1 has shape"):
        live.add(FRAME[:, :10])
    assert len(live) == 1 and np.array_equal(live.result(), np.dstack([FRAME, np.full((40, 30), 255, np.uint8)]))
    with pytest.raises(ValueError, match="add\\(\\) some first"):
        zolt.Stitcher().result()
