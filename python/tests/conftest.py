"""Frames shared by the tests: real browser series from the test data, read as cv2 reads them."""

import json
import os
import pathlib

import cv2
import pytest

DATA = pathlib.Path(os.environ.get("ZOLT_TEST_DATA", pathlib.Path(__file__).parents[2] / "tests" / "data"))


def series_files(name):
    folder = DATA / name
    return [folder / file for file in json.loads((folder / "truth.json").read_text())["files"]]


def read_series(name, flags=cv2.IMREAD_UNCHANGED):
    return [cv2.imread(str(file), flags) for file in series_files(name)]


@pytest.fixture(scope="session")
def sideways():
    """Six 480 x 640 BGRA captures of a page scrolled sideways (and down)."""
    return read_series("captures/libxslt-internals-horizontal-480x640")


@pytest.fixture(scope="session")
def sticky():
    """Thirteen 800 x 600 BGRA captures of a page with sticky and fixed elements, scrolled down."""
    return read_series("rig/handbook-sticky-800x600")
