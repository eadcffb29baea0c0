"""Scrolling capture for Python: stitch the screenshots of a scrolling window into one image."""

import os
from typing import Callable, Iterable, Literal, Optional, Union

import numpy as np
import numpy.typing as npt

__version__: str

Frame = npt.NDArray[np.uint8]
StitcherName = Literal["page", "basic", "smart", "borders"]
Direction = Literal["vertical", "horizontal", "both"]
ChannelOrder = Literal["bgr", "rgb"]
Progress = Callable[[float], Optional[bool]]
PathLike = Union[str, "os.PathLike[str]"]

class StitchError(RuntimeError):
    """The library could not stitch the frames; the message is the library's own."""

class StitchCancelled(StitchError):
    """The stitch was cancelled because progress returned False (Ctrl-C raises KeyboardInterrupt)."""

class StitchWarning(UserWarning):
    """A stitch went through, but the library reported something that may show in the result."""

def stitch(
    frames: Iterable[Frame],
    stitcher: StitcherName = "page",
    direction: Direction = "vertical",
    threads: Optional[int] = None,
    memory_limit_mb: Optional[int] = None,
    spill_dir: Optional[PathLike] = None,
    progress: Optional[Progress] = None,
    channel_order: ChannelOrder = "bgr",
) -> Frame:
    """Stitches the frames, oldest first, into one image (see help(zolt.stitch))."""

def translations(
    frames: Iterable[Frame],
    stitcher: StitcherName = "page",
    direction: Direction = "vertical",
    threads: Optional[int] = None,
    memory_limit_mb: Optional[int] = None,
    spill_dir: Optional[PathLike] = None,
    progress: Optional[Progress] = None,
    channel_order: ChannelOrder = "bgr",
) -> list[tuple[int, int]]:
    """(rows, cols) of each frame against the one before it; rows negative when scrolled down."""

class Stitcher:
    """A stitch that takes its frames one by one, as they arrive."""

    def __init__(
        self,
        stitcher: StitcherName = "page",
        direction: Direction = "vertical",
        threads: Optional[int] = None,
        memory_limit_mb: Optional[int] = None,
        spill_dir: Optional[PathLike] = None,
        channel_order: ChannelOrder = "bgr",
    ) -> None: ...
    def add(self, frame: Frame) -> None:
        """Adds the next frame; with the page stitcher it is measured against the one before."""
    def result(self, progress: Optional[Progress] = None) -> Frame:
        """Stitches the frames added so far; may be called again after more frames."""
    @property
    def translations(self) -> list[tuple[int, int]]:
        """(rows, cols) of each frame against the one before it."""
    def __len__(self) -> int:
        """The number of frames added."""
