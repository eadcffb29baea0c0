#pragma once

// The window under capture: its pixels, read as captures, and wheel events sent into it.

#include "X11Connection.h"

#include <opencv2/core.hpp>

namespace ZOLT {
namespace X11 {

class CaptureWindow {
public:
    /// `region` is in window coordinates; an empty one stands for the whole window. Throws
    /// X11Error (window gone when it is not shown, no window when the region does not lie
    /// inside it).
    CaptureWindow(const X11Connection& connection, ::Window window, const cv::Rect& region);

    /// The captured part of the window.
    const cv::Rect& Region() const { return region_; }

    /// The region's pixels: 8-bit red, green, blue, alpha, alpha 255. Throws X11Error: window
    /// gone when it was destroyed or unmapped, unreadable for a pixel format other than 24-bit
    /// true colour or a window partly off the screen.
    cv::Mat Grab() const;

    /// Puts the pointer in the middle of the region and turns the wheel `clicks` times, down
    /// (or right when `horizontal`). Throws X11Error (window gone).
    void ScrollWheel(int clicks, bool horizontal) const;

private:
    /// Throws X11Error (window gone) unless the window still exists and is shown.
    cv::Size CheckShown() const;

    Display* const display_;
    const ::Window window_;
    cv::Rect region_;
};

}  // namespace X11
}  // namespace ZOLT
