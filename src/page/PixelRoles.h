#pragma once

// What each pixel of a capture shows: the page, or something that stays put over it.

#include <opencv2/core.hpp>

#include <vector>

namespace ZOLT {
namespace Stitching {
namespace Page {

/// Roles in order of preference: a lower value is the better source of a page pixel.
enum PixelRole : unsigned char {
    /// Stays put, but this is where the page itself puts it (fixed or sticky, first or last capture).
    kNatural = 0,
    /// Moved with the page and differs from what the neighbour shows at the same place.
    kMoving = 1,
    /// Moved with the page, but the neighbour shows the same there anyway (a flat background).
    kFlat = 2,
    /// No neighbour shows it: new content at a capture's leading edge, or something that changed.
    kUnmatched = 3,
    /// Stays put while the page moves under it: never a source.
    kStatic = 4,
};

/// A neighbouring capture: content at p in the classified capture is at p + shift in `grey`.
struct Neighbour {
    cv::Mat grey;
    cv::Point shift;
};

/// The role of every pixel of `grey` (CV_8U), judged against its neighbours (either may be null);
/// all kUnmatched when no neighbour moved. Flat pixels inside an element that stays put count as
/// static too. `suspects` receives the pixels that moved unlike the page since the previous
/// capture or followed such a pixel (`previousSuspects`, the previous capture's, may be empty);
/// they are only kUnmatched.
cv::Mat ClassifyPixels(const cv::Mat& grey, const Neighbour* previous, const Neighbour* next,
                       const cv::Mat& previousSuspects, cv::Mat& suspects);

/// Which static elements are at their natural place in a capture at one end of the series.
enum class PageEnd { Low, High };

/// Turns into kNatural the static elements anchored to the given end along `axis` (0 rows,
/// 1 columns): those that start in the low half belong to the low end, the others to the high end.
void MarkNaturalElements(cv::Mat& roles, int axis, PageEnd end);

}  // namespace Page
}  // namespace Stitching
}  // namespace ZOLT
