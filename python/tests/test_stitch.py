"""zolt.stitch, zolt.translations and zolt.Stitcher on real series: the pixels and translations of
zolt-stitch, every frame layout, progress, cancelling, the library's warnings and errors."""

import json
import os
import signal
import subprocess
import threading
import warnings

import cv2
import numpy as np
import pytest

import zolt
from conftest import read_series, series_files

TOOL = os.environ.get("ZOLT_STITCH")


@pytest.mark.skipif(not TOOL, reason="zolt-stitch was not built")
@pytest.mark.parametrize(
    "series, stitcher, direction, flags",
    [
        ("captures/libxslt-internals-horizontal-480x640", "page", "both", cv2.IMREAD_UNCHANGED),
        ("captures/libxslt-internals-horizontal-480x640", "borders", "both", cv2.IMREAD_COLOR),
        ("rig/handbook-sticky-800x600", "page", "vertical", cv2.IMREAD_COLOR),
        ("rig/handbook-sticky-800x600", "smart", "vertical", cv2.IMREAD_COLOR),
    ],
)
def test_gives_the_pixels_translations_and_warnings_of_zolt_stitch(tmp_path, series, stitcher, direction, flags):
    output, moves = tmp_path / "page.png", tmp_path / "page.json"
    files = [str(file) for file in series_files(series)]
    tool = subprocess.run([TOOL, "-j2", "--stitcher", stitcher, "--direction", direction, *files,
                           "-o", str(output), "--translations", str(moves)], check=True, capture_output=True, text=True)
    expected = cv2.imread(str(output), cv2.IMREAD_UNCHANGED)
    measured = [(move["rows"], move["cols"]) for move in json.loads(moves.read_text())["translations"]]

    frames = [cv2.imread(file, flags) for file in files]
    with warnings.catch_warnings(record=True) as warned:
        warnings.simplefilter("always")
        result = zolt.stitch(frames, stitcher=stitcher, direction=direction, threads=2)
        assert zolt.translations(frames, stitcher=stitcher, direction=direction, threads=2) == measured
    # Each call warns of each kind once, as the tool explains each kind once, and passes on every
    # line that the tool lets the library print.
    library = [line for line in (tool.stdout + tool.stderr).splitlines()
               if not line.startswith(("zolt-stitch:", "Stitched "))]
    texts = [str(w.message) for w in warned]
    assert all(texts.count(line) == 2 * library.count(line) for line in library)
    assert len(texts) == 2 * (len(library) + tool.stderr.count("zolt-stitch: warning:"))
    if stitcher == "page":
        assert (expected[..., 3] == 255).all()
        expected = cv2.cvtColor(expected, cv2.COLOR_BGRA2GRAY) if flags == cv2.IMREAD_GRAYSCALE else \
            expected[..., :frames[0].shape[2]]
    assert result.shape == expected.shape
    assert np.array_equal(result, expected)


def test_every_layout_and_channel_order_comes_back_as_it_went_in(sideways):
    frame = sideways[0]
    bgr = np.ascontiguousarray(frame[..., :3])
    grey = cv2.cvtColor(bgr, cv2.COLOR_BGR2GRAY)
    layouts = {
        "bgra": frame, "bgr": bgr, "grey": grey, "crop": bgr[10:300, 20:400],
        "every other column": bgr[:, ::2], "upside down": bgr[::-1], "fortran": np.asfortranarray(bgr),
    }
    for name, layout in layouts.items():
        assert np.array_equal(zolt.stitch([layout]), layout), name
    assert zolt.stitch([grey[..., None]]).shape == grey.shape
    # Channels reversed by a view are RGB: read as such, they give the BGR frame back.
    assert np.array_equal(zolt.stitch([bgr[..., ::-1]], channel_order="rgb")[..., ::-1], bgr)
    # Where the configuration may leave transparency, alpha comes along.
    assert np.array_equal(zolt.stitch([bgr], stitcher="basic"), cv2.cvtColor(bgr, cv2.COLOR_BGR2BGRA))

    page = zolt.stitch(sideways, direction="both")
    rgba = [cv2.cvtColor(f, cv2.COLOR_BGRA2RGBA) for f in sideways]
    assert np.array_equal(zolt.stitch(rgba, direction="both", channel_order="rgb"),
                          cv2.cvtColor(page, cv2.COLOR_BGRA2RGBA))
    greys = [cv2.cvtColor(f, cv2.COLOR_BGRA2GRAY) for f in sideways]
    as_colour = [cv2.cvtColor(g, cv2.COLOR_GRAY2BGR) for g in greys]
    assert np.array_equal(zolt.stitch(greys, direction="both"), zolt.stitch(as_colour, direction="both")[..., 0])


@pytest.mark.filterwarnings("ignore::zolt.StitchWarning")
def test_frames_added_one_by_one_give_the_whole_stitch(sideways, tmp_path):
    for stitcher in ("page", "borders"):
        whole = zolt.stitch(sideways, stitcher=stitcher, direction="both")
        added = zolt.Stitcher(stitcher=stitcher, direction="both", memory_limit_mb=1, spill_dir=tmp_path)
        for frame in sideways:
            added.add(frame)
        assert len(added) == len(sideways)
        # Twice: the border configuration crops what it stitches, never the frames kept.
        assert np.array_equal(added.result(), whole) and np.array_equal(added.result(), whole), stitcher
        assert added.translations == zolt.translations(sideways, stitcher=stitcher, direction="both")
        del added
    assert os.listdir(tmp_path) == []
    # From a generator, through the memory-bounded store in a temporary folder.
    bounded = zolt.stitch((frame for frame in sideways), direction="both", memory_limit_mb=1)
    assert np.array_equal(bounded, zolt.stitch(sideways, direction="both"))


@pytest.mark.filterwarnings("ignore::zolt.StitchWarning")
def test_progress_runs_in_the_calling_thread_and_false_cancels(sticky):
    sticky = sticky[:5]
    caller, seen = threading.get_ident(), []

    def progress(fraction):
        assert threading.get_ident() == caller
        seen.append(fraction)

    zolt.stitch(sticky, progress=progress)
    assert seen == sorted(seen) and 0 <= seen[0] and seen[-1] == 1.0

    with pytest.raises(zolt.StitchCancelled, match="cancelled"):
        zolt.stitch(sticky, progress=lambda fraction: False)
    with pytest.raises(ZeroDivisionError):
        zolt.stitch(sticky, progress=lambda fraction: 1 / 0)
    live = zolt.Stitcher()
    for frame in sticky:
        live.add(frame)
    with pytest.raises(zolt.StitchCancelled):
        live.result(progress=lambda fraction: False)
    # Still usable after the cancel.
    assert np.array_equal(live.result(), zolt.stitch(sticky))


@pytest.mark.filterwarnings("ignore::zolt.StitchWarning")
def test_ctrl_c_cancels_and_raises_keyboard_interrupt(sticky):
    started = threading.Event()
    sender = threading.Thread(target=lambda: started.wait() and os.kill(os.getpid(), signal.SIGINT))
    sender.start()
    with pytest.raises(KeyboardInterrupt):
        zolt.stitch(sticky * 3, stitcher="basic", threads=1, progress=lambda fraction: started.set())
    sender.join()
    assert zolt.stitch(sticky[:2]).shape[1] == 800


@pytest.mark.filterwarnings("ignore::zolt.StitchWarning")
def test_two_stitches_in_two_threads_at_once(sideways, sticky):
    expected = [zolt.stitch(sideways, direction="both"), zolt.stitch(sticky)]
    results = [None, None]

    def run(index, frames, direction):
        results[index] = zolt.stitch(frames, direction=direction, threads=1)

    threads = [threading.Thread(target=run, args=(0, sideways, "both")),
               threading.Thread(target=run, args=(1, sticky, "vertical"))]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert all(np.array_equal(a, b) for a, b in zip(results, expected))


def test_the_library_s_warnings_and_errors_carry_its_own_texts(sticky, sideways, tmp_path):
    still = [sticky[0]] * 4
    with pytest.warns(zolt.StitchWarning) as warned:
        zolt.stitch(still, stitcher="basic")
    assert [str(w.message) for w in warned] == [
        "more than 30% of the frames did not move against the one before them: they add nothing to the "
        "result, or their movement was not recognised",
        "more than 2 frames in a row did not move: if the window did scroll there, that part is missing "
        "from the result",
    ]
    with pytest.warns(zolt.StitchWarning) as warned:
        zolt.stitch(still, stitcher="borders")
    assert [str(w.message) for w in warned][-2:] == [
        "Error: Failed to find top or left content boundary for image with index 1.", "No content box was found."]

    live = zolt.Stitcher(direction="both", memory_limit_mb=0, spill_dir=tmp_path)
    for frame in sideways:
        live.add(frame)
    for spilled in tmp_path.iterdir():
        spilled.unlink()
    with pytest.raises(zolt.StitchError, match="^Could not open or read file.$"):
        live.result()
