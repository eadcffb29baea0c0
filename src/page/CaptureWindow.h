#pragma once

// The few captures around the one being composed, and how good a source each of its pixels is.

#include <ZOLT/Core.h>

#include "page/Elements.h"
#include "page/PageCanvas.h"

#include <functional>
#include <future>
#include <map>
#include <optional>
#include <stdexcept>
#include <vector>

namespace ZOLT {
namespace Stitching {
namespace Page {

/// A capture the page stitcher cannot use; the stitch fails with its text as the error line.
class CaptureRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Capture `index` of `provider` as 8-bit RGBA; throws CaptureRefused unless it is 8-bit with
/// three or four channels and of `size`.
cv::Mat LoadCapture(IImageProvider& provider, std::size_t index, const cv::Size& size);

/// Walks a series in page order (along the main axis from the page's start, whatever order the
/// captures came in), loading each capture once and keeping only those that the next ones are
/// judged against.
class CaptureWindow {
public:
    /// `positions[k]` is capture k's scroll position in page pixels. With `threads` above 1 the
    /// next capture is judged against its neighbours on a worker while this one is ranked.
    CaptureWindow(IImageProvider& provider, const PageLayout& layout, const std::vector<cv::Point>& positions,
                  int threads);

    /// The capture indices in page order.
    const std::vector<std::size_t>& Order() const { return order_; }

    const cv::Mat& At(std::size_t index);

    /// The source cost (see kNeverSource) of every pixel of capture `index`'s scrolling area:
    /// elements at the place the page puts them first, then what follows the page or is flat,
    /// then what no neighbour vouched for, each better the farther it is from an element that is
    /// not at its place; such elements never. Call for the captures of Order() in turn.
    cv::Mat SourceCosts(std::size_t index);

private:
    /// Positions in Order() of the nearest captures on either side that show the page from
    /// other positions.
    std::vector<std::size_t> NeighboursOf(std::size_t rank) const;
    /// What a capture's neighbours show of it, and the elements found in it.
    struct Judged {
        Evidence evidence;
        std::vector<Element> elements;
    };

    /// Judging the capture at `rank` against its neighbours, ready to run on any thread: the
    /// images are loaded here.
    std::function<Judged()> JudgeTask(std::size_t rank);
    /// The capture at `rank` judged, by the worker when it was started ahead.
    Judged JudgedAt(std::size_t rank);
    /// Whether a bottom element of the high capture was there at the page's start too: one that
    /// shows up only once the page has scrolled is not part of the page.
    bool ShownAtStart(const Element& element) const;
    void DropBefore(std::size_t rank);

    IImageProvider& provider_;
    const PageLayout& layout_;
    const std::vector<cv::Point>& positions_;
    cv::Size size_;
    std::vector<std::size_t> order_;
    std::map<std::size_t, cv::Mat> captures_;
    /// The capture composed last (kNone before the first), its textured pixels and the elements
    /// it showed away from their place, which the next capture may show again.
    std::size_t previous_;
    cv::Mat previousTextured_;
    std::vector<Element> previousDisplaced_;
    /// The elements of the low capture.
    cv::Mat startElements_;
    const bool ahead_;
    /// The capture being judged ahead, and its rank.
    std::optional<std::pair<std::size_t, std::future<Judged>>> next_;
};

}  // namespace Page
}  // namespace Stitching
}  // namespace ZOLT
