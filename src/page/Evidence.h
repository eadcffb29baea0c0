#pragma once

// What a capture's pixels show, judged against its neighbours: what stayed put while the page
// moved under it, and what followed the page.

#include <opencv2/core.hpp>

#include <vector>

namespace ZOLT {
namespace Stitching {
namespace Page {

/// A neighbouring capture: content at p in the judged capture is at p + shift in `image`.
struct Neighbour {
    cv::Mat image;
    cv::Point shift;
    /// Shown before the judged capture in page order (above it, or left of it).
    bool before = false;
};

/// Pixel masks (CV_8U, 0 or 255) over one capture's scrolling area.
struct Evidence {
    /// An edge is next to the pixel: only such pixels can be seen to stay put rather than
    /// merely coincide with what the page shows there.
    cv::Mat textured;
    /// Textured pixels that stayed put while the page moved under them, against a neighbour and
    /// over most of their tile (two lines of a page rarely agree on a whole tile), unless what they
    /// show repeats at the step's distance.
    cv::Mat still;
    /// Pixels equal to both their neighbours along the scroll axis: a line or an edge that runs
    /// along it looks the same whether it stayed put or moved with the page, so alone it tells
    /// nothing; as part of an element (a box's side) it is the element's.
    cv::Mat alongTheAxis;
    /// Flat pixels that kept their colour against every neighbour that shows their part of the
    /// page elsewhere, unhidden, and that none shows the page's motion explaining as well. Page
    /// backgrounds do so by chance; next to an element they are its flat parts (a bar's or a box's
    /// fill).
    cv::Mat flatStill;
    /// Textured pixels that followed the page from a neighbour before it in page order, and did
    /// not stay put.
    cv::Mat followingBefore;
    /// The same against the neighbours after it.
    cv::Mat followingAfter;
    /// Textured pixels that some neighbour shows where the page's motion puts them, stayed put or
    /// not: a line along the scroll axis is explained as well as a glyph that followed.
    cv::Mat explained;
};

/// 255 where two 8-bit RGBA images of one size show the same colour (within JPEG noise).
cv::Mat SameAs(const cv::Mat& a, const cv::Mat& b);

/// The evidence on `image` (8-bit RGBA) from `neighbours` (same size; those that did not move
/// tell nothing and are skipped), for a page scrolled along `axis` (0 rows, 1 columns).
Evidence GatherEvidence(const cv::Mat& image, const std::vector<Neighbour>& neighbours, int axis);

}  // namespace Page
}  // namespace Stitching
}  // namespace ZOLT
