#pragma once

// The automatic capture loop: grab, scroll, wait for the target to settle, grab again, until
// the content stops moving.

#include <ZOLT/Capture/Backend.h>
#include <ZOLT/Capture/Clock.h>

#include <chrono>
#include <cstddef>
#include <functional>

namespace ZOLT {
namespace Capture {

/// Receives each capture as it is taken. Its pixels are never changed afterwards, so the sink
/// may keep a shared copy.
using CaptureSink = std::function<void(const cv::Mat& capture)>;
/// Asked between grabs whether the host wants the capture to end now.
using StopCheck = std::function<bool()>;

struct ScrollPlan {
    Axis axis = Axis::Rows;
    /// Wheel clicks per step.
    int clicks = 3;
    std::size_t maxCaptures = 300;
    /// Two grabs this far apart must be identical before one counts as a capture.
    std::chrono::milliseconds settle{80};
};

enum class CaptureEnd {
    /// The content did not move for two steps in a row.
    PageEnd,
    /// The maximum number of captures was reached.
    MaxCaptures,
    /// The host asked to stop.
    Stopped,
};

class ScrollLoop {
public:
    /// Keeps references to all four; they must outlive the loop.
    ScrollLoop(ICaptureBackend& backend, const Target& target, const ScrollPlan& plan, Clock& clock);

    /// Captures until one of the ends; the first capture is taken before any scrolling. Throws
    /// CaptureError when the target goes away or cannot be read.
    CaptureEnd Run(const CaptureSink& sink, const StopCheck& stopRequested);

private:
    cv::Mat SettledGrab(cv::Mat previous, const StopCheck& stopRequested);
    cv::Mat GrabAfterScroll(const cv::Mat& last, const StopCheck& stopRequested);

    ICaptureBackend& backend_;
    const Target& target_;
    const ScrollPlan& plan_;
    Clock& clock_;
};

}  // namespace Capture
}  // namespace ZOLT
