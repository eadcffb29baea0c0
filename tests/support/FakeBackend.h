#pragma once

// A capture backend without a screen, for the capture loops' tests and the capture benchmark: a
// window over a long page, scrolled by the loop's wheel or by a scripted user, repainting late,
// animated or closing on request, on whatever clock the loop waits through.

#include <ZOLT/Capture/Backend.h>
#include <ZOLT/Capture/Clock.h>

#include <opencv2/core.hpp>

#include <chrono>
#include <cstddef>
#include <vector>

namespace ZOLT {
namespace Testing {

/// Time that passes only when the loop sleeps.
class VirtualClock : public Capture::Clock {
public:
    TimePoint Now() const override { return now_; }
    void Sleep(Duration duration) override { now_ += duration; }

private:
    TimePoint now_{};
};

struct FakeWindow {
    int pixelsPerClick = 30;
    /// Scroll input shows on the screen this long after it was sent.
    std::chrono::milliseconds repaintDelay{40};
    /// For this long after every move, a box in the middle of the view shows grey (a lazy
    /// image), then the page; 0 for none.
    std::chrono::milliseconds lazyImage{0};
    /// A corner of the view changes in every grab.
    bool animated = false;
    /// Whether the wheel moves the content at all.
    bool scrolls = true;
    /// Rows at the top of the view that never scroll (a toolbar), cut from the page's start.
    int header = 0;
    /// Grabs after which the window is closed; 0 never.
    std::size_t closeAfterGrabs = 0;
};

class FakeBackend : public Capture::ICaptureBackend {
public:
    /// A `view`-sized window over `page` (8-bit RGBA), scrolling along `axis` from `start`.
    FakeBackend(cv::Mat page, cv::Size view, Capture::Axis axis, const Capture::Clock& clock,
                const FakeWindow& window = FakeWindow(), int start = 0);

    std::string Name() const override { return "fake"; }
    unsigned Capabilities() const override { return Capture::CanFindWindows | Capture::CanScroll; }
    Capture::Target Find(const Capture::TargetQuery& query) override;
    std::optional<Capture::Target> Pick() override { return std::nullopt; }
    cv::Mat Grab(const Capture::Target& target) override;
    void Scroll(const Capture::Target& target, const Capture::ScrollStep& step) override;
    cv::Point PointerPosition(const Capture::Target&) override { return cv::Point(); }

    /// The user scrolls: from `after` past the clock's start, the view lies at `position`.
    void UserMoves(std::chrono::milliseconds after, int position);

    /// The view's position now, and the page as the view shows it at `position`.
    int Position() const;
    cv::Mat ViewAt(int position) const;
    /// The last position the content can scroll to.
    int LastPosition() const;
    std::size_t Grabs() const { return grabs_; }
    const cv::Mat& Page() const { return page_; }

private:
    struct Move {
        Capture::Clock::TimePoint at;
        int position;
    };

    const cv::Mat page_;
    const cv::Size view_;
    const Capture::Axis axis_;
    const Capture::Clock& clock_;
    const FakeWindow window_;
    const Capture::Clock::TimePoint start_;
    std::vector<Move> moves_;
    std::size_t grabs_ = 0;
};

}  // namespace Testing
}  // namespace ZOLT
