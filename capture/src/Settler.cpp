#include "Settler.h"

#include <opencv2/core.hpp>

namespace ZOLT {
namespace Capture {

namespace {

/// Pixels in 10,000 that may differ between grabs of a settled target: a blinking caret.
constexpr int TOLERATED_PER_10000 = 1;

int ChangedPixels(const cv::Mat& first, const cv::Mat& second)
{
    cv::Mat difference;
    cv::absdiff(first, second, difference);
    cv::Mat channels[4];
    cv::split(difference.reshape(difference.channels()), channels);
    cv::Mat changed = channels[0] | channels[1] | channels[2];
    return cv::countNonZero(changed);
}

}  // namespace

double ChangedShare(const cv::Mat& first, const cv::Mat& second)
{
    return ChangedPixels(first, second) / static_cast<double>(first.total());
}

bool Unchanged(const cv::Mat& first, const cv::Mat& second)
{
    if (first.size() != second.size() || first.type() != second.type()) {
        return false;
    }
    return ChangedPixels(first, second) <= static_cast<int>(first.total() * TOLERATED_PER_10000 / 10000);
}

Settler::Settler(ICaptureBackend& backend, const Target& target, const SettlePolicy& policy, Clock& clock,
                 const LoopHost& host)
    : backend_(backend), target_(target), policy_(policy), clock_(clock), host_(host)
{
}

bool Settler::Pause()
{
    clock_.Sleep(policy_.Interval());
    return !host_.stopRequested();
}

void Settler::Report(Activity activity) const
{
    if (host_.activity) {
        host_.activity(activity);
    }
}

Settler::Result Settler::Settle(cv::Mat latest, const ChangeObserver& changed)
{
    Report(Activity::Settling);
    const Clock::TimePoint start = clock_.Now();
    Clock::TimePoint stillSince = start;
    while (clock_.Now() - start < policy_.giveUp) {
        if (!Pause()) {
            return Result{Outcome::Stopped, cv::Mat()};
        }
        cv::Mat grab = Grab();
        if (!Unchanged(grab, latest)) {
            stillSince = clock_.Now();
            latest = grab;
            if (changed) {
                changed(latest);
            }
        } else if (clock_.Now() - stillSince >= policy_.settle) {
            return Result{Outcome::Settled, grab};
        }
    }
    return Result{Outcome::GaveUp, latest};
}

Settler::Result Settler::AfterInput(const cv::Mat& before)
{
    Report(Activity::AwaitingMovement);
    const Clock::TimePoint start = clock_.Now();
    for (;;) {
        cv::Mat grab = Grab();
        if (!Unchanged(grab, before)) {
            return Settle(grab);
        }
        if (clock_.Now() - start >= policy_.firstChange) {
            return Result{Outcome::Settled, grab};
        }
        if (!Pause()) {
            return Result{Outcome::Stopped, cv::Mat()};
        }
    }
}

}  // namespace Capture
}  // namespace ZOLT
