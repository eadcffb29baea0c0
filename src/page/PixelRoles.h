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

/// A neighbouring capture: content at p in the classified capture is at p + shift in `image`.
struct Neighbour {
    cv::Mat image;
    cv::Point shift;
    /// The neighbour's own static pixels (255), in its coordinates; empty when not known yet.
    cv::Mat occluded;
    /// The neighbour was captured before the classified capture.
    bool before = false;
};

/// The role of every pixel of `image` (8-bit RGBA), judged against `neighbours`; all kFlat when
/// no neighbour moved. A pixel is moving when some neighbour saw it follow the page and not stay
/// put, static when some neighbour saw it stay put and none saw it follow the page; flat pixels
/// inside an element that stays put count as static too. `suspects` receives the pixels that moved
/// unlike the page since `previous` (one of `neighbours`, or null), or followed such a pixel of it
/// (`previousSuspects`, may be empty); they are only kUnmatched.
cv::Mat ClassifyPixels(const cv::Mat& image, const std::vector<Neighbour>& neighbours, const Neighbour* previous,
                       const cv::Mat& previousSuspects, cv::Mat& suspects);

/// The pixels of `image` that stay put against its neighbours (no occlusion known yet), their
/// flat inside included; flat colours count only where an element's edges enclose them, since a
/// flat colour alone can stay put by coincidence.
cv::Mat StaticAtFirstSight(const cv::Mat& image, const std::vector<Neighbour>& neighbours);

/// Which static elements are at their natural place in a capture at one end of the series.
enum class PageEnd { Low, High };

/// Turns into kNatural the static elements anchored to the given end along `axis` (0 rows,
/// 1 columns): those that start in the low half belong to the low end, the others to the high end.
void MarkNaturalElements(cv::Mat& roles, int axis, PageEnd end);

}  // namespace Page
}  // namespace Stitching
}  // namespace ZOLT
