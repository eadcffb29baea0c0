// Evidence: each capture compared with its neighbours at the same place and where the page moved.

#include "page/Evidence.h"

#include "page/ScrollMeasurement.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace ZOLT {
namespace Stitching {
namespace Page {

namespace {

/// Summed over red, green and blue: three grey tolerances.
constexpr int kSameColourTolerance = 3 * kSameTolerance;
/// Side of the tiles over which staying put must hold.
constexpr int kTile = 16;
/// A tile stays put when this share of its textured pixels does, and it has a few of them.
constexpr double kStillTileShare = 0.9;
constexpr int kStillTileLeast = 6;
/// Neighbours that must see a pixel stay put, where that many moved: one agreeing neighbour can
/// be a coincidence of repeated page lines, an element seldom changes between two.
constexpr int kStillVotes = 2;

/// Pixels with an edge next to them.
cv::Mat Textured(const cv::Mat& image)
{
    cv::Mat gradient;
    cv::morphologyEx(image, gradient, cv::MORPH_GRADIENT, cv::Mat());
    cv::Mat textured(image.size(), CV_8U);
    for (int y = 0; y < gradient.rows; ++y) {
        const unsigned char* channel = gradient.ptr<unsigned char>(y);
        unsigned char* out = textured.ptr<unsigned char>(y);
        for (int x = 0; x < gradient.cols; ++x, channel += 4) {
            out[x] = channel[0] + channel[1] + channel[2] > kSameColourTolerance ? 255 : 0;
        }
    }
    return textured;
}

/// 255 over the tiles in which most textured pixels are `kept`, and over those next to them in
/// which at least half are: an element's edge tile holds page too, while the pixels of two page
/// lines agree on about a third at most.
cv::Mat TilesMostlyKept(const cv::Mat& textured, const cv::Mat& kept)
{
    const int tilesX = (textured.cols + kTile - 1) / kTile;
    const int tilesY = (textured.rows + kTile - 1) / kTile;
    cv::Mat most = cv::Mat::zeros(tilesY, tilesX, CV_8U);
    cv::Mat half = cv::Mat::zeros(tilesY, tilesX, CV_8U);
    for (int ty = 0; ty < tilesY; ++ty) {
        for (int tx = 0; tx < tilesX; ++tx) {
            const cv::Rect tile = cv::Rect(tx * kTile, ty * kTile, kTile, kTile) & cv::Rect(cv::Point(), textured.size());
            const int edges = cv::countNonZero(textured(tile));
            if (edges < kStillTileLeast) {
                continue;
            }
            const int still = cv::countNonZero(kept(tile));
            most.at<unsigned char>(ty, tx) = still >= kStillTileShare * edges ? 255 : 0;
            half.at<unsigned char>(ty, tx) = 2 * still >= edges ? 255 : 0;
        }
    }
    cv::Mat nextToMost;
    cv::dilate(most, nextToMost, cv::Mat());
    const cv::Mat tiles = most | (half & nextToMost);
    cv::Mat mask;
    cv::resize(tiles, mask, cv::Size(tilesX * kTile, tilesY * kTile), 0, 0, cv::INTER_NEAREST);
    return mask(cv::Rect(cv::Point(), textured.size()));
}

/// Pixels equal to both their neighbours along `axis`: a line or an edge that runs along the
/// scroll axis looks the same whether it stayed put or moved with the page, so it tells nothing.
cv::Mat AlongTheAxis(const cv::Mat& image, int axis)
{
    cv::Mat along = cv::Mat::zeros(image.size(), CV_8U);
    const cv::Point step = axis == 0 ? cv::Point(0, 1) : cv::Point(1, 0);
    const cv::Rect whole(cv::Point(), image.size());
    const cv::Rect inner = whole & (whole + step) & (whole - step);
    if (!inner.empty()) {
        along(inner) = SameAs(image(inner), image(inner + step)) & SameAs(image(inner), image(inner - step));
    }
    return along;
}

}  // namespace

cv::Mat SameAs(const cv::Mat& a, const cv::Mat& b)
{
    cv::Mat same(a.size(), CV_8U);
    for (int y = 0; y < a.rows; ++y) {
        const unsigned char* p = a.ptr<unsigned char>(y);
        const unsigned char* q = b.ptr<unsigned char>(y);
        unsigned char* out = same.ptr<unsigned char>(y);
        for (int x = 0; x < a.cols; ++x, p += 4, q += 4) {
            const int difference = std::abs(p[0] - q[0]) + std::abs(p[1] - q[1]) + std::abs(p[2] - q[2]);
            out[x] = difference <= kSameColourTolerance ? 255 : 0;
        }
    }
    return same;
}

Evidence GatherEvidence(const cv::Mat& image, const std::vector<Neighbour>& neighbours, int axis)
{
    Evidence evidence;
    evidence.textured = Textured(image);
    evidence.followingBefore = cv::Mat::zeros(image.size(), CV_8U);
    evidence.followingAfter = cv::Mat::zeros(image.size(), CV_8U);
    cv::Mat votes = cv::Mat::zeros(image.size(), CV_8U);
    cv::Mat flatVotes = cv::Mat::zeros(image.size(), CV_8U);
    cv::Mat anyMoved = cv::Mat::zeros(image.size(), CV_8U);
    int moving = 0;
    const cv::Rect whole(cv::Point(), image.size());
    for (const Neighbour& neighbour : neighbours) {
        if (neighbour.shift == cv::Point() || neighbour.image.size() != image.size()) {
            continue;
        }
        ++moving;
        const cv::Mat same = SameAs(image, neighbour.image);
        // Where the neighbour shows this part of the page too: did it follow?
        cv::Mat moved = cv::Mat::zeros(image.size(), CV_8U);
        cv::Mat notMoved = cv::Mat::zeros(image.size(), CV_8U);
        const cv::Rect here = whole & (whole - neighbour.shift);
        if (!here.empty()) {
            SameAs(image(here), neighbour.image(here + neighbour.shift)).copyTo(moved(here));
            notMoved(here) = ~moved(here);
        }
        cv::Mat& following = neighbour.before ? evidence.followingBefore : evidence.followingAfter;
        following |= evidence.textured & moved & ~same;
        // Staying put is seen anywhere the page moved, in the overlap or not; what the page's own
        // motion explains as well is no evidence.
        const cv::Mat stayed = evidence.textured & same & ~moved;
        // A tile stays put when its edges are where they were; a pixel of it that the page's
        // motion would explain as well casts no vote.
        cv::add(votes, 1, votes, stayed & TilesMostlyKept(evidence.textured, evidence.textured & same));
        cv::add(flatVotes, 1, flatVotes, same & notMoved & ~evidence.textured);
        anyMoved |= moved;
    }
    const int needed = std::max(1, std::min(kStillVotes, moving));
    const cv::Mat following = evidence.followingBefore | evidence.followingAfter;
    evidence.still = (votes >= needed) & ~following;
    evidence.alongTheAxis = AlongTheAxis(image, axis);
    // A page pixel hidden where one neighbour would show it follows the page in another.
    evidence.flatStill = (flatVotes >= needed) & ~anyMoved;
    return evidence;
}

}  // namespace Page
}  // namespace Stitching
}  // namespace ZOLT
