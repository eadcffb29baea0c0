#pragma once

// One window of the X server as the backend uses it: whether it is shown, its pixels, wheel
// events sent into it, the pointer over it.

#include <X11/Xlib.h>

#include <opencv2/core.hpp>

namespace ZOLT {
namespace Capture {
namespace X11 {

class X11Window {
public:
    X11Window(Display* display, ::Window window) : display_(display), window_(window) {}

    /// The window's size. Throws CaptureError (target gone) unless it still exists and is shown.
    cv::Size CheckShown() const;

    /// The pixels of `region` (window coordinates): 8-bit red, green, blue, alpha, alpha 255.
    /// Throws CaptureError: target gone when the window was destroyed or unmapped, unreadable
    /// for a pixel format other than 24-bit true colour or a window partly off the screen.
    cv::Mat Grab(const cv::Rect& region) const;

    /// Puts the pointer at `point` (window coordinates), presses and releases `button` `clicks`
    /// times and puts the pointer back. Throws CaptureError (target gone).
    void Click(const cv::Point& point, unsigned int button, int clicks) const;

    /// Where the pointer is, in window coordinates. Throws CaptureError (target gone).
    cv::Point Pointer() const;

private:
    Display* const display_;
    const ::Window window_;
};

/// Where the pointer is, in `window`'s coordinates.
cv::Point PointerIn(Display* display, ::Window window);

}  // namespace X11
}  // namespace Capture
}  // namespace ZOLT
