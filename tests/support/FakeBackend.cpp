#include "FakeBackend.h"

#include <ZOLT/Capture/CaptureError.h>

#include <algorithm>

namespace ZOLT {
namespace Testing {

using Capture::Axis;

FakeBackend::FakeBackend(cv::Mat page, cv::Size view, Axis axis, const Capture::Clock& clock, const FakeWindow& window,
                         int start)
    : page_(std::move(page)), view_(view), axis_(axis), clock_(clock), window_(window), start_(clock.Now())
{
    moves_.push_back(Move{start_, start});
}

Capture::Target FakeBackend::Find(const Capture::TargetQuery& query)
{
    return Capture::Target{1, query.region.empty() ? cv::Rect(cv::Point(), view_) : query.region, "fake page"};
}

int FakeBackend::LastPosition() const
{
    return axis_ == Axis::Rows ? page_.rows - view_.height : page_.cols - view_.width;
}

int FakeBackend::Position() const
{
    int position = moves_.front().position;
    for (const Move& move : moves_) {
        if (move.at <= clock_.Now()) {
            position = move.position;
        }
    }
    return position;
}

cv::Mat FakeBackend::ViewAt(int position) const
{
    const cv::Point offset = axis_ == Axis::Rows ? cv::Point(0, position) : cv::Point(position, 0);
    cv::Mat view = page_(cv::Rect(offset, view_)).clone();
    if (window_.header > 0) {
        page_(cv::Rect(0, 0, view_.width, window_.header)).copyTo(view(cv::Rect(0, 0, view_.width, window_.header)));
    }
    return view;
}

cv::Mat FakeBackend::Grab(const Capture::Target& target)
{
    if (window_.closeAfterGrabs != 0 && grabs_ >= window_.closeAfterGrabs) {
        throw Capture::CaptureError(Capture::CaptureError::Kind::TargetGone, "the window was closed");
    }
    ++grabs_;
    cv::Mat view = ViewAt(Position());
    const auto lastMove =
        std::find_if(moves_.rbegin(), moves_.rend(), [&](const Move& m) { return m.at <= clock_.Now(); });
    if (clock_.Now() - lastMove->at < window_.lazyImage) {
        view(cv::Rect(view.cols / 4, view.rows / 3, view.cols / 2, view.rows / 3))
            .setTo(cv::Scalar(128, 128, 128, 255));
    }
    if (window_.animated) {
        view(cv::Rect(0, 0, 40, 40)).setTo(cv::Scalar(static_cast<double>(grabs_ * 37 % 256), 90, 200, 255));
    }
    return view(target.region).clone();
}

void FakeBackend::Scroll(const Capture::Target&, const Capture::ScrollStep& step)
{
    if (!window_.scrolls || step.axis != axis_) {
        return;
    }
    const int from = moves_.back().position;
    const int by = (step.towardStart ? -1 : 1) * step.clicks * window_.pixelsPerClick;
    moves_.push_back(Move{clock_.Now() + window_.repaintDelay, std::clamp(from + by, 0, LastPosition())});
}

void FakeBackend::UserMoves(std::chrono::milliseconds after, int position)
{
    moves_.push_back(Move{start_ + after, std::clamp(position, 0, LastPosition())});
}

}  // namespace Testing
}  // namespace ZOLT
