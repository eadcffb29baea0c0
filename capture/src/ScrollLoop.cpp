#include <ZOLT/Capture/ScrollLoop.h>

#include "Settler.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace ZOLT {
namespace Capture {

namespace {

/// Steps in a row without movement that mark the end of the content.
constexpr int STILL_STEPS_AT_END = 2;
/// The share of the view that must change for a step whose movement was misread to count as moved.
constexpr double MOVED_SHARE = 0.2;
/// Wheel clicks per step while bringing the content to its start: long pages come back fast.
constexpr int REWIND_CLICKS = 20;
/// The most of the scrolling area a chosen step may take: about half, with the clicks' rounding,
/// leaves the stitcher a wide overlap.
constexpr double LARGEST_STEP_SHARE = 0.55;

/// The length along `axis` of the part of the view that changed from `before` to `after`:
/// the area that scrolls, without fixed bars at its ends.
int ChangedLength(const cv::Mat& before, const cv::Mat& after, Axis axis)
{
    cv::Mat difference;
    cv::absdiff(before, after, difference);
    cv::Mat profile;
    cv::reduce(difference.reshape(1, difference.rows), profile, axis == Axis::Rows ? 1 : 0, cv::REDUCE_MAX);
    if (axis == Axis::Columns) {
        // A row of width * channels values: fold the channels of each column together.
        cv::reduce(profile.reshape(1, before.cols), profile, 1, cv::REDUCE_MAX);
    }
    cv::Mat changed;
    cv::findNonZero(profile, changed);
    if (changed.empty()) {
        return 0;
    }
    const auto index = [](const cv::Point& point) { return std::max(point.x, point.y); };
    return index(changed.at<cv::Point>(static_cast<int>(changed.total()) - 1)) - index(changed.at<cv::Point>(0)) + 1;
}

class ScrollRun {
public:
    ScrollRun(ICaptureBackend& backend, const Target& target, const ScrollPlan& plan, Clock& clock,
              const LoopHost& host)
        : backend_(backend),
          target_(target),
          plan_(plan),
          host_(host),
          settler_(backend, target, plan.settle, clock, host)
    {
    }

    CaptureEnd Run();

private:
    /// Scrolls the other way until the content no longer moves; the settled grab there.
    Settler::Result Rewind(cv::Mat current);
    /// The view's movement from `before` to `after`, towards the end; 0 when it did not move.
    int Movement(const cv::Mat& before, const cv::Mat& after) const
    {
        return Unchanged(before, after) ? 0 : host_.measure(before, after);
    }

    ICaptureBackend& backend_;
    const Target& target_;
    const ScrollPlan& plan_;
    const LoopHost& host_;
    Settler settler_;
};

CaptureEnd EndOf(Settler::Outcome outcome)
{
    return outcome == Settler::Outcome::Stopped ? CaptureEnd::Stopped : CaptureEnd::Unsettled;
}

Settler::Result ScrollRun::Rewind(cv::Mat current)
{
    const ScrollStep back{plan_.axis, !plan_.towardStart, REWIND_CLICKS};
    for (int stillSteps = 0; stillSteps < STILL_STEPS_AT_END;) {
        settler_.Report(Activity::Rewinding);
        backend_.Scroll(target_, back);
        Settler::Result step = settler_.AfterInput(current);
        if (step.outcome != Settler::Outcome::Settled) {
            return step;
        }
        stillSteps = Movement(current, step.image) == 0 ? stillSteps + 1 : 0;
        current = step.image;
    }
    return Settler::Result{Settler::Outcome::Settled, current};
}

CaptureEnd ScrollRun::Run()
{
    Settler::Result first = settler_.Settle(settler_.Grab());
    if (first.outcome == Settler::Outcome::Settled && plan_.fromStart) {
        first = Rewind(first.image);
    }
    if (first.outcome != Settler::Outcome::Settled) {
        return EndOf(first.outcome);
    }
    cv::Mat last = first.image;
    host_.capture(last, 0);
    std::size_t captures = 1;
    int position = 0;
    const int direction = plan_.towardStart ? -1 : 1;
    ScrollStep step{plan_.axis, plan_.towardStart, plan_.clicks > 0 ? plan_.clicks : 1};
    bool stepChosen = plan_.clicks > 0;
    double perClick = 0.0;
    for (int stillSteps = 0; captures < plan_.maxCaptures;) {
        backend_.Scroll(target_, step);
        const Settler::Result next = settler_.AfterInput(last);
        if (next.outcome != Settler::Outcome::Settled) {
            return EndOf(next.outcome);
        }
        int movement = Movement(last, next.image);
        const bool backwards = movement * direction < 0;
        if (backwards) {
            // A misreading. When most of the view changed, the content moved on: it is kept where
            // a step of this size would have taken it. Otherwise only a part of the view changed
            // (a tooltip, a late repaint) and the content stood still.
            const bool movedOn = ChangedShare(last, next.image) >= MOVED_SHARE;
            movement = movedOn ? direction * std::max(1, static_cast<int>(std::lround(perClick * step.clicks))) : 0;
        }
        if (movement == 0) {
            if (++stillSteps >= STILL_STEPS_AT_END) {
                return captures == 1 ? CaptureEnd::NoMovement : CaptureEnd::PageEnd;
            }
            continue;
        }
        stillSteps = 0;
        if (!backwards) {
            perClick = std::abs(movement) / static_cast<double>(step.clicks);
            if (!stepChosen) {
                step.clicks = ChooseClicks(perClick, ChangedLength(last, next.image, plan_.axis));
                stepChosen = true;
            }
        }
        position += movement;
        last = next.image;
        host_.capture(last, position);
        ++captures;
    }
    return CaptureEnd::MaxCaptures;
}

}  // namespace

int ChooseClicks(double pixelsPerClick, int scrollingLength)
{
    if (pixelsPerClick <= 0.0 || scrollingLength <= 0) {
        return 1;
    }
    return std::max(1, static_cast<int>(LARGEST_STEP_SHARE * scrollingLength / pixelsPerClick));
}

CaptureEnd RunScrollLoop(ICaptureBackend& backend, const Target& target, const ScrollPlan& plan, Clock& clock,
                         const LoopHost& host)
{
    return ScrollRun(backend, target, plan, clock, host).Run();
}

}  // namespace Capture
}  // namespace ZOLT
