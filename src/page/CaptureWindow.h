#pragma once

// The few captures around the one being composed, and what each of their pixels shows.

#include <ZOLT/Core.h>

#include "page/PageCanvas.h"

#include <map>
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

/// Walks a series capture by capture, loading each capture once and keeping only those that
/// the next ones are judged against.
class CaptureWindow {
public:
    /// `positions[k]` is capture k's scroll position in page pixels.
    CaptureWindow(IImageProvider& provider, const PageLayout& layout, const std::vector<cv::Point>& positions);

    const cv::Mat& At(std::size_t index);
    /// The roles of capture `index`'s scrolling area. Call in order, from capture 0 on.
    cv::Mat Roles(std::size_t index);

private:
    /// The nearest captures on either side that show the page from another position.
    std::vector<std::size_t> NeighboursOf(std::size_t index) const;
    /// What capture `index`'s neighbours see without knowing what hides the page in them.
    const cv::Mat& FirstSightStatic(std::size_t index);
    void DropBefore(std::size_t index);

    IImageProvider& provider_;
    const PageLayout& layout_;
    const std::vector<cv::Point>& positions_;
    cv::Size size_;
    std::map<std::size_t, cv::Mat> captures_;
    std::map<std::size_t, cv::Mat> firstSightStatic_;
    std::map<std::size_t, cv::Mat> suspects_;
};

}  // namespace Page
}  // namespace Stitching
}  // namespace ZOLT
