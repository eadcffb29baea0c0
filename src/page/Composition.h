#pragma once

// Composing the page from the captures of a provider: all at once, or capture by capture while
// the captures still arrive, so that little is left once the last one is in.

#include <ZOLT/Core.h>

#include "page/CaptureWindow.h"
#include "page/PageCanvas.h"

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace ZOLT {
namespace Stitching {
namespace Page {

class Composition {
public:
    /// A composition of the captures of `provider` at `positions` (capture k's scroll position in
    /// page pixels), whose scrolling area is `box`. `complete` false: more captures will arrive.
    Composition(IImageProvider& provider, const cv::Size& captureSize, const cv::Rect& box,
                std::vector<cv::Point> positions, int threads, bool complete);

    /// Whether what was ranked ahead still holds for the series with `box` and `positions` (the
    /// captures so far, or more): the same scrolling area, the new captures continuing the page
    /// order, the one at the page's start unchanged.
    bool Continues(const cv::Rect& box, const std::vector<cv::Point>& positions) const;

    /// Takes in `positions`, which Continues, and ranks every capture, but the last, whose
    /// neighbours have all arrived.
    void Advance(const std::vector<cv::Point>& positions);

    /// Ranks the rest and composes the page, calling `step` after each capture: false from it
    /// stops the composition, which then returns false.
    bool Finish(const std::function<bool()>& step, cv::Mat& stitched);

private:
    IImageProvider& provider_;
    cv::Size captureSize_;
    std::vector<cv::Point> positions_;
    PageLayout layout_;
    CaptureWindow window_;
    /// Captures ranked ahead, by index: their source costs as runs (they are mostly long runs of
    /// a few values), so that a long series stays small.
    std::map<std::size_t, std::vector<unsigned char>> ranked_;
    std::size_t nextRank_ = 0;
};

/// Whether captures at `positions` arrive in page order: each further along the main axis than
/// the one before, so that they can be composed as they come.
bool InPageOrder(const std::vector<cv::Point>& positions);

}  // namespace Page
}  // namespace Stitching
}  // namespace ZOLT
