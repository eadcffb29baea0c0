#pragma once

// What the capture loops share: how long a target must stay still to count as settled, and the
// host's side of a loop: where captures go, when to stop, how movement is measured.

#include <ZOLT/Capture/Backend.h>

#include <chrono>
#include <functional>

namespace ZOLT {
namespace Capture {

/// A target has settled once it showed the same pixels for `settle`, grabbed every
/// `settle / GRABS_PER_SETTLE` (a blinking caret, a few dozen pixels, does not count as a change).
struct SettlePolicy {
    static constexpr int GRABS_PER_SETTLE = 4;

    std::chrono::milliseconds settle{250};
    /// A target that has not settled after this long is animated: the loop gives up on it.
    std::chrono::milliseconds giveUp{5000};
    /// How long scroll input may take to show on the screen before the content counts as still.
    std::chrono::milliseconds firstChange{1000};

    std::chrono::milliseconds Interval() const { return settle / GRABS_PER_SETTLE; }
};

/// What a loop is waiting for, for the host's progress line.
enum class Activity {
    /// For the target to stop changing.
    Settling,
    /// For scroll input to show on the screen.
    AwaitingMovement,
    /// For the content to reach its start, scrolled there before the capture.
    Rewinding,
    /// For the user to scroll.
    Watching,
};

/// How a loop ended.
enum class CaptureEnd {
    /// The content did not move for two steps in a row: it reached its end.
    PageEnd,
    /// The maximum number of captures was reached.
    MaxCaptures,
    /// The host asked to stop.
    Stopped,
    /// The target kept changing for SettlePolicy::giveUp (an animation): the captures before stand.
    Unsettled,
    /// Scroll input never moved the content: only the first capture was taken.
    NoMovement,
    /// Nothing changed on the screen for the idle time (watching only).
    Idle,
};

/// The host's side of a loop. Every function is called on the loop's thread.
struct LoopHost {
    /// Receives each capture kept, with its position: how far its view lies from the first
    /// capture's along the axis, in pixels, growing towards the content's end. The pixels are
    /// never changed afterwards, so the sink may keep a shared copy.
    std::function<void(const cv::Mat& capture, int position)> capture;
    /// Asked between grabs whether the capture should end now.
    std::function<bool()> stopRequested;
    /// How far the view moved from `previous` to `current` along the axis, in pixels, positive
    /// towards the content's end; 0 when the content did not move (only static parts changed).
    std::function<int(const cv::Mat& previous, const cv::Mat& current)> measure;
    /// Told what the loop waits for whenever that changes; may be empty.
    std::function<void(Activity activity)> activity;
};

}  // namespace Capture
}  // namespace ZOLT
