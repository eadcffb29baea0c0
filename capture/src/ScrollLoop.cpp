#include <ZOLT/Capture/ScrollLoop.h>

namespace ZOLT {
namespace Capture {

namespace {

/// Settle rounds before a changing window is captured as it is: about two seconds by default.
constexpr int MAX_SETTLE_ROUNDS = 25;
/// Settle intervals a window gets to start moving after the wheel turned: a busy application may
/// repaint late, and a step that only looks still would end the capture early.
constexpr int MAX_START_ROUNDS = 5;
/// Steps in a row without movement that mark the end of the content.
constexpr int STILL_STEPS_AT_END = 2;

bool Identical(const cv::Mat& first, const cv::Mat& second)
{
    return first.size() == second.size() && cv::norm(first, second, cv::NORM_INF) == 0.0;
}

}  // namespace

ScrollLoop::ScrollLoop(ICaptureBackend& backend, const Target& target, const ScrollPlan& plan, Clock& clock)
    : backend_(backend), target_(target), plan_(plan), clock_(clock)
{
}

cv::Mat ScrollLoop::SettledGrab(cv::Mat previous, const StopCheck& stopRequested)
{
    for (int round = 0; round < MAX_SETTLE_ROUNDS; ++round) {
        clock_.Sleep(plan_.settle);
        if (stopRequested()) {
            return cv::Mat();
        }
        cv::Mat current = backend_.Grab(target_);
        if (Identical(previous, current)) {
            return current;
        }
        previous = current;
    }
    return previous;
}

cv::Mat ScrollLoop::GrabAfterScroll(const cv::Mat& last, const StopCheck& stopRequested)
{
    for (int round = 0;; ++round) {
        cv::Mat current = backend_.Grab(target_);
        if (!Identical(current, last)) {
            return SettledGrab(current, stopRequested);
        }
        if (round == MAX_START_ROUNDS) {
            return current;
        }
        clock_.Sleep(plan_.settle);
        if (stopRequested()) {
            return cv::Mat();
        }
    }
}

CaptureEnd ScrollLoop::Run(const CaptureSink& sink, const StopCheck& stopRequested)
{
    cv::Mat last = SettledGrab(backend_.Grab(target_), stopRequested);
    if (last.empty()) {
        return CaptureEnd::Stopped;
    }
    sink(last);
    std::size_t captures = 1;
    int stillSteps = 0;
    const ScrollStep step{plan_.axis, false, plan_.clicks};
    while (captures < plan_.maxCaptures) {
        backend_.Scroll(target_, step);
        cv::Mat current = GrabAfterScroll(last, stopRequested);
        if (current.empty()) {
            return CaptureEnd::Stopped;
        }
        if (Identical(current, last)) {
            if (++stillSteps >= STILL_STEPS_AT_END) {
                return CaptureEnd::PageEnd;
            }
            continue;
        }
        stillSteps = 0;
        last = current;
        sink(last);
        ++captures;
    }
    return CaptureEnd::MaxCaptures;
}

}  // namespace Capture
}  // namespace ZOLT
