#pragma once

// Grabs through wlr-screencopy: the compositor copies an output's region into a shared-memory
// buffer, which becomes one capture.

#include "ShmBuffer.h"
#include "WaylandDisplay.h"

#include <opencv2/core.hpp>

#include <memory>

namespace ZOLT {
namespace Capture {
namespace Wayland {

class Screencopy {
public:
    explicit Screencopy(const WaylandDisplay& display) : display_(display) {}

    /// `region` of `output`, in its logical coordinates, as it shows next: 8-bit red, green,
    /// blue, alpha, alpha 255, upright. Throws CaptureError: unreadable when the compositor
    /// refuses the copy or offers a pixel format other than 8-bit RGB; no display when the
    /// connection fails.
    cv::Mat Grab(const Output& output, const cv::Rect& region);

private:
    const WaylandDisplay& display_;
    /// Kept from grab to grab while the compositor asks for the same shape.
    std::unique_ptr<ShmBuffer> buffer_;
};

}  // namespace Wayland
}  // namespace Capture
}  // namespace ZOLT
