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
constexpr int kSameColourTolerance = 24;
/// Side of the tiles over which staying put must hold.
constexpr int kTile = 16;
/// A tile stays put when this share of its textured pixels does, and it has a few of them.
constexpr double kStillTileShare = 0.9;
constexpr int kStillTileLeast = 6;

bool SameColour(const unsigned char* p, const unsigned char* q)
{
    return std::abs(p[0] - q[0]) + std::abs(p[1] - q[1]) + std::abs(p[2] - q[2]) <= kSameColourTolerance;
}

/// `same[x]` = 1 where pixel x of the RGBA rows `a` and `b` (`count` pixels) shows the same
/// colour, else 0. Two plain loops over bytes, so that the compiler vectorises them.
void SameRow(const unsigned char* a, const unsigned char* b, int count, unsigned char* same,
             std::vector<unsigned char>& difference)
{
    difference.resize(static_cast<std::size_t>(4 * count));
    unsigned char* d = difference.data();
    for (int i = 0; i < 4 * count; ++i) {
        d[i] = a[i] > b[i] ? a[i] - b[i] : b[i] - a[i];
    }
    for (int x = 0; x < count; ++x) {
        same[x] = d[4 * x] + d[4 * x + 1] + d[4 * x + 2] <= kSameColourTolerance ? 1 : 0;
    }
}

/// `repeats[x]` = 1 where pixel x of row y of `image` shows the same colour `shift` away, in
/// either direction.
void RepeatsRow(const cv::Mat& image, int y, const cv::Point& shift, std::vector<unsigned char>& repeats,
                std::vector<unsigned char>& scratch, std::vector<unsigned char>& difference)
{
    std::fill(repeats.begin(), repeats.end(), 0);
    for (const int sign : {+1, -1}) {
        const cv::Point step = sign * shift;
        const int row = y + step.y;
        const int first = std::max(0, -step.x);
        const int end = std::min(image.cols, image.cols - step.x);
        if (row < 0 || row >= image.rows || end <= first) {
            continue;
        }
        SameRow(image.ptr<unsigned char>(y) + 4 * first, image.ptr<unsigned char>(row) + 4 * (first + step.x),
                end - first, scratch.data() + first, difference);
        for (int x = first; x < end; ++x) {
            repeats[static_cast<std::size_t>(x)] |= scratch[static_cast<std::size_t>(x)];
        }
    }
}

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

/// Per tile: how many textured pixels it has, and how many of them stayed at their place.
struct TileCounts {
    TileCounts(const cv::Size& size)
        : columns((size.width + kTile - 1) / kTile),
          edges(static_cast<std::size_t>(columns * ((size.height + kTile - 1) / kTile)), 0),
          same(edges.size(), 0)
    {
    }

    std::size_t At(int y, int x) const { return static_cast<std::size_t>((y / kTile) * columns + x / kTile); }

    int columns;
    std::vector<int> edges;
    std::vector<int> same;
};

/// The tiles in which most textured pixels stayed at their place, and those next to them in which
/// at least half did: an element's edge tile holds page too, while the pixels of two page lines
/// agree on about a third at most.
std::vector<unsigned char> StillTiles(const TileCounts& counts)
{
    const int columns = counts.columns;
    const int rows = static_cast<int>(counts.edges.size()) / columns;
    std::vector<unsigned char> most(counts.edges.size(), 0);
    std::vector<unsigned char> half(counts.edges.size(), 0);
    for (std::size_t tile = 0; tile < counts.edges.size(); ++tile) {
        const int edges = counts.edges[tile];
        if (edges >= kStillTileLeast) {
            most[tile] = counts.same[tile] >= kStillTileShare * edges;
            half[tile] = 2 * counts.same[tile] >= edges;
        }
    }
    std::vector<unsigned char> still(most);
    for (int ty = 0; ty < rows; ++ty) {
        for (int tx = 0; tx < columns; ++tx) {
            const std::size_t tile = static_cast<std::size_t>(ty * columns + tx);
            if (still[tile] || !half[tile]) {
                continue;
            }
            for (int dy = -1; dy <= 1 && !still[tile]; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int y = ty + dy;
                    const int x = tx + dx;
                    if (y >= 0 && y < rows && x >= 0 && x < columns && most[static_cast<std::size_t>(y * columns + x)]) {
                        still[tile] = 1;
                        break;
                    }
                }
            }
        }
    }
    return still;
}

/// Pixels equal to both their neighbours along `axis`: a line or an edge that runs along the
/// scroll axis looks the same whether it stayed put or moved with the page, so it tells nothing.
cv::Mat AlongTheAxis(const cv::Mat& image, int axis)
{
    cv::Mat along = cv::Mat::zeros(image.size(), CV_8U);
    const int rowStep = axis == 0 ? 1 : 0;
    const int pixelStep = axis == 0 ? 0 : 4;
    for (int y = rowStep; y < image.rows - rowStep; ++y) {
        const unsigned char* before = image.ptr<unsigned char>(y - rowStep);
        const unsigned char* pixel = image.ptr<unsigned char>(y);
        const unsigned char* after = image.ptr<unsigned char>(y + rowStep);
        unsigned char* out = along.ptr<unsigned char>(y);
        const int first = pixelStep / 4;
        for (int x = first; x < image.cols - first; ++x) {
            const unsigned char* p = pixel + 4 * x;
            out[x] = SameColour(p, before + 4 * x - pixelStep) && SameColour(p, after + 4 * x + pixelStep) ? 255 : 0;
        }
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
    evidence.alongTheAxis = AlongTheAxis(image, axis);
    evidence.followingBefore = cv::Mat::zeros(image.size(), CV_8U);
    evidence.followingAfter = cv::Mat::zeros(image.size(), CV_8U);
    // Staying put against any one neighbour that moved, over most of the pixel's tile.
    cv::Mat stayedPut = cv::Mat::zeros(image.size(), CV_8U);
    cv::Mat flatVotes = cv::Mat::zeros(image.size(), CV_8U);
    cv::Mat flatJudges = cv::Mat::zeros(image.size(), CV_8U);
    cv::Mat anyMoved = cv::Mat::zeros(image.size(), CV_8U);
    cv::Mat stayed(image.size(), CV_8U);
    const cv::Rect whole(cv::Point(), image.size());
    for (const Neighbour& neighbour : neighbours) {
        if (neighbour.shift == cv::Point() || neighbour.image.size() != image.size()) {
            continue;
        }
        // Where the neighbour shows this part of the page too, whether it followed; anywhere,
        // whether it stayed put (in the overlap or not): what the page's own motion explains as
        // well is no evidence of staying.
        const cv::Rect here = whole & (whole - neighbour.shift);
        cv::Mat& following = neighbour.before ? evidence.followingBefore : evidence.followingAfter;
        TileCounts tiles(image.size());
        std::vector<unsigned char> sameRow(static_cast<std::size_t>(image.cols));
        std::vector<unsigned char> movedRow(static_cast<std::size_t>(image.cols));
        std::vector<unsigned char> hiddenRow(static_cast<std::size_t>(image.cols));
        std::vector<unsigned char> difference;
        std::vector<unsigned char> repeatsRow(static_cast<std::size_t>(image.cols));
        std::vector<unsigned char> scratchRow(static_cast<std::size_t>(image.cols));
        for (int y = 0; y < image.rows; ++y) {
            const unsigned char* pixel = image.ptr<unsigned char>(y);
            const unsigned char* other = neighbour.image.ptr<unsigned char>(y);
            const bool rowInside = y >= here.y && y < here.br().y;
            const unsigned char* shifted =
                rowInside ? neighbour.image.ptr<unsigned char>(y + neighbour.shift.y) + 4 * neighbour.shift.x : nullptr;
            const unsigned char* textured = evidence.textured.ptr<unsigned char>(y);
            const unsigned char* along = evidence.alongTheAxis.ptr<unsigned char>(y);
            unsigned char* follows = following.ptr<unsigned char>(y);
            unsigned char* stays = stayed.ptr<unsigned char>(y);
            unsigned char* flat = flatVotes.ptr<unsigned char>(y);
            unsigned char* judges = flatJudges.ptr<unsigned char>(y);
            unsigned char* moves = anyMoved.ptr<unsigned char>(y);
            SameRow(pixel, other, image.cols, sameRow.data(), difference);
            RepeatsRow(image, y, neighbour.shift, repeatsRow, scratchRow, difference);
            std::fill(movedRow.begin(), movedRow.end(), 0);
            std::fill(hiddenRow.begin(), hiddenRow.end(), 0);
            if (rowInside) {
                SameRow(pixel + 4 * here.x, shifted + 4 * here.x, here.width, movedRow.data() + here.x, difference);
                // Where the neighbour would show this pixel's page, it shows what this capture shows
                // there too: something that stayed put hides the page there, and its not following
                // proves nothing.
                const unsigned char* ownShifted = image.ptr<unsigned char>(y + neighbour.shift.y) + 4 * neighbour.shift.x;
                SameRow(ownShifted + 4 * here.x, shifted + 4 * here.x, here.width, hiddenRow.data() + here.x, difference);
            }
            for (int x = 0; x < image.cols; ++x) {
                const bool same = sameRow[static_cast<std::size_t>(x)] != 0;
                const bool moved = movedRow[static_cast<std::size_t>(x)] != 0;
                const bool edge = textured[x] != 0;
                if (edge) {
                    const std::size_t tile = tiles.At(y, x);
                    ++tiles.edges[tile];
                    tiles.same[tile] += same;
                    if (moved && !same) {
                        follows[x] = 255;
                    }
                } else if (rowInside && x >= here.x && x < here.br().x && hiddenRow[static_cast<std::size_t>(x)] == 0) {
                    ++judges[x];
                    flat[x] += same && !moved;
                }
                if (moved) {
                    moves[x] = 255;
                }
                // Content that repeats at the step's distance (table rows, a code listing's lines)
                // stays put by coincidence, and the page may hide behind an element elsewhere.
                const bool repeats = repeatsRow[static_cast<std::size_t>(x)] != 0 && along[x] == 0;
                stays[x] = edge && same && !moved && !repeats ? 255 : 0;
            }
        }
        // A tile stays put when its edges are where they were.
        const std::vector<unsigned char> stillTiles = StillTiles(tiles);
        for (int y = 0; y < image.rows; ++y) {
            const unsigned char* stays = stayed.ptr<unsigned char>(y);
            unsigned char* still = stayedPut.ptr<unsigned char>(y);
            for (int x = 0; x < image.cols; ++x) {
                if (stays[x] != 0 && stillTiles[tiles.At(y, x)]) {
                    still[x] = 255;
                }
            }
        }
    }
    const cv::Mat following = evidence.followingBefore | evidence.followingAfter;
    evidence.still = stayedPut & ~following;
    // Every neighbour that could see the page there saw the colour stay; a page pixel hidden where
    // one neighbour would show it follows the page in another.
    evidence.flatStill = (flatVotes == flatJudges) & (flatJudges > 0) & ~anyMoved;
    evidence.explained = evidence.textured & anyMoved;
    return evidence;
}

}  // namespace Page
}  // namespace Stitching
}  // namespace ZOLT
