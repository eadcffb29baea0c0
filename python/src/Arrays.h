#pragma once

// NumPy arrays in and out: the checks a frame must pass, its one conversion into a capture (8-bit
// red, green, blue, alpha) and the result's conversion back into the caller's layout.

#include <opencv2/core.hpp>
#include <pybind11/numpy.h>

#include <cstddef>
#include <optional>

namespace ZOLT {
namespace Python {

/// The order of a colour frame's channels: as cv2 gives them, or as Pillow and Matplotlib do.
enum class ChannelOrder { Bgr, Rgb };

/// The largest frame accepted: 8192 x 8192 pixels, as the command-line stitcher's captures.
constexpr std::size_t MAX_FRAME_PIXELS = std::size_t(1) << 26;

/// The layout every frame of one stitch shares.
struct FrameShape {
    pybind11::ssize_t rows = 0;
    pybind11::ssize_t cols = 0;
    /// 1 for grey (H x W or H x W x 1), 3 or 4.
    int channels = 0;
};

/// Checks frame number `index` and converts it into a new capture in one pass, releasing the
/// GIL while the pixels are read. `shape` is set by the first frame and checked for every later
/// one. Throws TypeError (not a uint8 array) or ValueError (its shape, its size, or a shape that
/// differs from the first frame's).
cv::Mat ToCapture(pybind11::handle frame, std::size_t index, ChannelOrder order, std::optional<FrameShape>& shape);

/// A new array holding `capture` (red, green, blue, alpha) with `channels` channels (1, 3 or 4)
/// in `order`.
pybind11::array FromCapture(const cv::Mat& capture, int channels, ChannelOrder order);

}  // namespace Python
}  // namespace ZOLT
