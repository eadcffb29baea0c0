#pragma once

// Measures how far a page scrolled between two captures, on the pixels that changed only.

#include <ZOLT/Core.h>

namespace ZOLT {
namespace Stitching {
namespace Page {

/// Grey levels closer than this count as the same pixel: generous enough for JPEG noise,
/// strict enough to tell anti-aliased glyphs apart.
constexpr int kSameTolerance = 16;

/// One pair's measurement: the translation, and where the two captures differ.
struct ScrollMeasurement {
    Translation translation;
    /// Share of the overlap's tiles with changed pixels that the translation matches nearly in
    /// full (0 to 1).
    double matchedShare = 0.0;
    /// The rectangle that holds the pixels that changed between the two captures (empty when
    /// nothing did): outside it, the window did not change at all.
    cv::Rect changedArea;
    /// CV_32S, one entry per row (a column vector) and per column (a row vector) of the capture:
    /// how many of its pixels changed, and how many of those moved with the page. Empty when the
    /// pair did not move.
    cv::Mat changedPerRow;
    cv::Mat changedPerCol;
    cv::Mat movingPerRow;
    cv::Mat movingPerCol;
};

/// Translation of `current` against `previous` (grey, CV_8U, same size) along the axes that
/// `direction` allows (0 rows, 1 columns, 2 both, anything else neither). Pixels that did not
/// change between the two captures take no part, so static frames, fixed elements and flat
/// backgrounds cannot outvote the page. A pair in which (almost) nothing changed is (0, 0).
ScrollMeasurement MeasureScroll(const cv::Mat& previous, const cv::Mat& current, int direction);

}  // namespace Page
}  // namespace Stitching
}  // namespace ZOLT
