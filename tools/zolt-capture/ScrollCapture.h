#pragma once

// The capture loop: grab, turn the wheel, wait for the window to settle, grab again, until the
// content stops moving.

#include "ScrollSettings.h"

#include <CaptureWindow.h>

#include <functional>

namespace ZOLT {
namespace CaptureTool {

class ScrollCapture {
public:
    /// Receives each capture as it is taken; it may take over the pixels.
    using CaptureSink = std::function<void(cv::Mat& capture)>;
    /// Asked between grabs whether the host wants the capture to end now.
    using StopCheck = std::function<bool()>;

    ScrollCapture(const X11::CaptureWindow& window, const ScrollSettings& settings);

    /// Captures until one of the ends; the first capture is taken before any scrolling. Throws
    /// X11Error when the window goes away or cannot be read.
    CaptureEnd Run(const CaptureSink& sink, const StopCheck& stopRequested) const;

private:
    /// Grabs until two grabs `settle` apart are identical, starting from `previous`, and returns
    /// the last. A window that never settles (an animation) gives its latest grab after a
    /// bounded wait. Empty when a stop was requested.
    cv::Mat SettledGrab(cv::Mat previous, const StopCheck& stopRequested) const;
    /// After the wheel turned: the settled grab once the window moved away from `last`, or a
    /// grab equal to `last` when it did not start moving within a few settle intervals. Empty
    /// when a stop was requested.
    cv::Mat GrabAfterScroll(const cv::Mat& last, const StopCheck& stopRequested) const;

    const X11::CaptureWindow& window_;
    const ScrollSettings settings_;
};

}  // namespace CaptureTool
}  // namespace ZOLT
