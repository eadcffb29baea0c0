#include "ScrollCapture.h"

#include <thread>

namespace ZOLT {
namespace CaptureTool {

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

ScrollCapture::ScrollCapture(const X11::CaptureWindow& window, const ScrollSettings& settings)
    : window_(window), settings_(settings)
{
}

cv::Mat ScrollCapture::SettledGrab(cv::Mat previous, const StopCheck& stopRequested) const
{
    for (int round = 0; round < MAX_SETTLE_ROUNDS; ++round) {
        std::this_thread::sleep_for(settings_.settle);
        if (stopRequested()) {
            return cv::Mat();
        }
        cv::Mat current = window_.Grab();
        if (Identical(previous, current)) {
            return current;
        }
        previous = current;
    }
    return previous;
}

cv::Mat ScrollCapture::GrabAfterScroll(const cv::Mat& last, const StopCheck& stopRequested) const
{
    for (int round = 0;; ++round) {
        cv::Mat current = window_.Grab();
        if (!Identical(current, last)) {
            return SettledGrab(current, stopRequested);
        }
        if (round == MAX_START_ROUNDS) {
            return current;
        }
        std::this_thread::sleep_for(settings_.settle);
        if (stopRequested()) {
            return cv::Mat();
        }
    }
}

CaptureEnd ScrollCapture::Run(const CaptureSink& sink, const StopCheck& stopRequested) const
{
    cv::Mat last = SettledGrab(window_.Grab(), stopRequested);
    if (last.empty()) {
        return CaptureEnd::Stopped;
    }
    cv::Mat delivered = last.clone();
    sink(delivered);
    std::size_t captures = 1;
    int stillSteps = 0;
    while (captures < settings_.maxCaptures) {
        window_.ScrollWheel(settings_.clicks, settings_.horizontal);
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
        delivered = current.clone();
        sink(delivered);
        ++captures;
    }
    return CaptureEnd::MaxCaptures;
}

}  // namespace CaptureTool
}  // namespace ZOLT
