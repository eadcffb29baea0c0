#include <ZOLT/Capture/WatchLoop.h>

#include "Settler.h"

#include <algorithm>

namespace ZOLT {
namespace Capture {

namespace {

class WatchRun {
public:
    WatchRun(ICaptureBackend& backend, const Target& target, const WatchPlan& plan, Clock& clock, const LoopHost& host)
        : plan_(plan), clock_(clock), host_(host), settler_(backend, target, plan.settle, clock, host)
    {
    }

    CaptureEnd Run();

private:
    /// Moves the position along with `grab`, measured against the grab followed before it. When
    /// the content runs on without a pause (a fling, inertia, a key that jumps), the last grab
    /// that was still within half a view of the captures kept is kept too, so that no gap opens.
    void Follow(const cv::Mat& grab)
    {
        const cv::Mat previous = followed_;
        const int previousPosition = position_;
        position_ += host_.measure(followed_, grab);
        followed_ = grab;
        const int reach = (plan_.axis == Axis::Rows ? grab.rows : grab.cols) / 2;
        const bool runsOff = position_ > highest_ + reach || position_ < lowest_ - reach;
        const bool previousAdds = previousPosition > highest_ || previousPosition < lowest_;
        if (kept_ > 0 && runsOff && previousAdds) {
            Keep(previous, previousPosition);
        }
    }
    /// Keeps `capture` when its view reaches beyond the captures kept so far.
    void KeepIfNew(const cv::Mat& capture)
    {
        if (kept_ == 0 || position_ < lowest_ || position_ > highest_) {
            Keep(capture, position_);
        }
    }
    void Keep(const cv::Mat& capture, int position)
    {
        lowest_ = kept_ == 0 ? position : std::min(lowest_, position);
        highest_ = kept_ == 0 ? position : std::max(highest_, position);
        ++kept_;
        host_.capture(capture, position);
    }

    const WatchPlan& plan_;
    Clock& clock_;
    const LoopHost& host_;
    Settler settler_;
    /// The latest grab whose position is known, and that position.
    cv::Mat followed_;
    int position_ = 0;
    /// The positions the kept captures span.
    int lowest_ = 0;
    int highest_ = 0;
    std::size_t kept_ = 0;
};

CaptureEnd WatchRun::Run()
{
    const Settler::Result first = settler_.Settle(settler_.Grab());
    if (first.outcome != Settler::Outcome::Settled) {
        return first.outcome == Settler::Outcome::Stopped ? CaptureEnd::Stopped : CaptureEnd::Unsettled;
    }
    followed_ = first.image;
    KeepIfNew(first.image);
    cv::Mat seen = first.image;
    Clock::TimePoint lastChange = clock_.Now();
    settler_.Report(Activity::Watching);
    while (kept_ < plan_.maxCaptures) {
        if (!settler_.Pause()) {
            return CaptureEnd::Stopped;
        }
        const cv::Mat grab = settler_.Grab();
        if (Unchanged(grab, seen)) {
            if (plan_.idle.count() > 0 && clock_.Now() - lastChange >= plan_.idle) {
                return CaptureEnd::Idle;
            }
            continue;
        }
        Follow(grab);
        const Settler::Result settled = settler_.Settle(grab, [this](const cv::Mat& changed) { Follow(changed); });
        if (settled.outcome == Settler::Outcome::Stopped) {
            return CaptureEnd::Stopped;
        }
        if (settled.outcome == Settler::Outcome::Settled) {
            followed_ = settled.image;
            KeepIfNew(settled.image);
        }
        seen = settled.image;
        lastChange = clock_.Now();
        settler_.Report(Activity::Watching);
    }
    return CaptureEnd::MaxCaptures;
}

}  // namespace

CaptureEnd RunWatchLoop(ICaptureBackend& backend, const Target& target, const WatchPlan& plan, Clock& clock,
                        const LoopHost& host)
{
    return WatchRun(backend, target, plan, clock, host).Run();
}

}  // namespace Capture
}  // namespace ZOLT
