#pragma once

// Elements shown over the page (fixed bars and buttons, stuck sidebars, sticky headers): found
// where a capture's pixels stay put, and followed from capture to capture when they move their
// own way.

#include "page/Evidence.h"

#include <opencv2/core.hpp>

#include <vector>

namespace ZOLT {
namespace Stitching {
namespace Page {

/// The end of the window, along the main axis, that an element keeps to.
enum class Anchor { Low, High };

struct Element {
    /// In the scrolling area's coordinates.
    cv::Rect bounds;
    /// Of the bounds' size; 255 inside the element.
    cv::Mat mask;
    Anchor anchor = Anchor::Low;
    /// Reached by following the element's own motion: it may move with the page from here on (a
    /// sticky sidebar pushed along by the end of its column).
    bool moving = false;
};

/// The elements of a capture: its still pixels joined across the gaps between glyphs, the flat
/// insides they enclose, and a margin for their anti-aliased edges. `axis` is the main axis
/// (0 rows, 1 columns).
std::vector<Element> FindElements(const Evidence& evidence, int axis);

/// Where `elements` of `previous` show again in `current` (both RGBA, the scrolling area): at
/// an offset between staying put and moving with the page, whose motion from `previous` to
/// `current` is `pageShift` (content at p in previous is at p + pageShift in current). Only
/// elements already moving can be found moving with the page: otherwise a stretch of page
/// mistaken for an element would be followed down the whole series.
std::vector<Element> TrackElements(const cv::Mat& previous, const cv::Mat& previousTextured,
                                   const std::vector<Element>& elements, const cv::Mat& current,
                                   const cv::Point& pageShift, int axis);

/// `followed` without the elements that `found` covers for the most part: an element found
/// where it is needs no following too, and the list stays as long as the elements are many.
std::vector<Element> WithoutFoundAgain(std::vector<Element> followed, const std::vector<Element>& found,
                                       const cv::Size& size);

/// 255 over every element of `elements`, in an area of `size`.
cv::Mat ElementMask(const std::vector<Element>& elements, const cv::Size& size);

}  // namespace Page
}  // namespace Stitching
}  // namespace ZOLT
