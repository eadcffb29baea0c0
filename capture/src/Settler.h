#pragma once

// Grabbing a target until it has settled, the step both loops repeat.

#include <ZOLT/Capture/CaptureLoop.h>
#include <ZOLT/Capture/Clock.h>

#include <functional>

namespace ZOLT {
namespace Capture {

/// The share of the pixels that differ between two grabs of the same size.
double ChangedShare(const cv::Mat& first, const cv::Mat& second);

/// Whether two grabs show the same: at most a caret's worth of pixels differ (one in 10,000).
bool Unchanged(const cv::Mat& first, const cv::Mat& second);

class Settler {
public:
    enum class Outcome { Settled, Stopped, GaveUp };
    struct Result {
        Outcome outcome;
        /// The settled grab; the latest one when the target gave up; empty when stopped.
        cv::Mat image;
    };
    /// Called with every grab that differs from the one before it.
    using ChangeObserver = std::function<void(const cv::Mat& grab)>;

    /// Keeps references to all five; they must outlive the settler.
    Settler(ICaptureBackend& backend, const Target& target, const SettlePolicy& policy, Clock& clock,
            const LoopHost& host);

    cv::Mat Grab() { return backend_.Grab(target_); }
    /// Sleeps one grab interval; false when the host asks to stop.
    bool Pause();
    /// Grabs until the target stayed unchanged for the settle time, starting from `latest`.
    Result Settle(cv::Mat latest, const ChangeObserver& changed = ChangeObserver());
    /// After scroll input: waits for the target to change from `before`, then for it to
    /// settle. A target that does not change in time gives `before`'s look, settled.
    Result AfterInput(const cv::Mat& before);

    void Report(Activity activity) const;

private:
    ICaptureBackend& backend_;
    const Target& target_;
    const SettlePolicy& policy_;
    Clock& clock_;
    const LoopHost& host_;
};

}  // namespace Capture
}  // namespace ZOLT
