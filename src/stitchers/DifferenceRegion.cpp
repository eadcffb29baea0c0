// SmartStitcher, the image operations: FindRegionWithDifferences and StitchImages; the rest of
// the class is in SmartStitcher.cpp.
//
// The smart stitcher's two image operations: finding the region in which the first and the last
// capture differ, and framing the stitched region with the first capture's fixed surroundings.

#include <ZOLT/Stitchers.h>

#include <ZOLT/Common/ImageUtilities.h>

#include "core/LargeBuffers.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdint>
#include <stdexcept>

namespace ZOLT {
namespace Stitching {

namespace {

using Colour = cv::Scalar_<unsigned char>;

/// Colour of one pixel of an 8-bit image with one to four channels; the missing bytes are 0.
/// Nothing is read before the bounds check has passed; the channel count is checked second.
Colour PixelAt(const cv::Mat& image, const cv::Point& position)
{
    if (!Common::ImageUtilities::PointWithinMat(image, position)) {
        throw std::invalid_argument("'position' is out of bounds.");
    }
    const int channels = image.channels();
    const unsigned char* pixel = image.ptr<unsigned char>(position.y) + position.x * channels;
    switch (channels) {
    case 1:
        return Colour(pixel[0], 0, 0, 0);
    case 2:
        return Colour(pixel[0], pixel[1], 0, 0);
    case 3:
        return Colour(pixel[0], pixel[1], pixel[2], 0);
    case 4:
        return Colour(pixel[0], pixel[1], pixel[2], pixel[3]);
    default:
        throw std::invalid_argument("'image' has an unsupported number of channels.");
    }
}

/// Two captures can be compared pixel by pixel when they share size and channel count and each
/// pixel fits the four-byte colour.
bool AreComparable(const cv::Mat& first, const cv::Mat& last)
{
    return first.rows == last.rows && first.cols == last.cols && first.channels() == last.channels() &&
           first.depth() == CV_8U && last.depth() == CV_8U && first.channels() <= 4;
}

/// Bounding box of the changed pixels, grown one pixel at a time.
struct ChangedBounds {
    int minCol;
    int minRow;
    int maxCol;
    int maxRow;

    void Include(int col, int row)
    {
        minCol = std::min(minCol, col);
        maxCol = std::max(maxCol, col);
        minRow = std::min(minRow, row);
        maxRow = std::max(maxRow, row);
    }

    /// A single changed row or column is not taken as a region; the comparisons are strict.
    bool SpansMoreThanOneRowAndColumn() const { return maxCol > minCol && maxRow > minRow; }
};

/// Visits every pixel once, with one colour comparison per pixel. The colours live on the stack
/// and only their first `Channels` bytes are ever written, so the rest stays 0.
template <int Channels>
void IncludeChangedPixels(const cv::Mat& first, const cv::Mat& last, unsigned int threshold, ChangedBounds& bounds)
{
    Colour before;
    Colour after;
    for (int row = 0; row < first.rows; ++row) {
        // Each capture is addressed through its own row start, so views of other images are safe.
        const unsigned char* firstRow = first.ptr<unsigned char>(row);
        const unsigned char* lastRow = last.ptr<unsigned char>(row);
        for (int col = 0; col < first.cols; ++col) {
            for (int channel = 0; channel < Channels; ++channel) {
                before[channel] = firstRow[col * Channels + channel];
                after[channel] = lastRow[col * Channels + channel];
            }
            if (Common::ImageUtilities::ScalarDiff(before, after) > threshold) {
                bounds.Include(col, row);
            }
        }
    }
}

void IncludeChangedPixels(const cv::Mat& first, const cv::Mat& last, unsigned int threshold, ChangedBounds& bounds)
{
    switch (first.channels()) {
    case 1:
        IncludeChangedPixels<1>(first, last, threshold, bounds);
        break;
    case 2:
        IncludeChangedPixels<2>(first, last, threshold, bounds);
        break;
    case 3:
        IncludeChangedPixels<3>(first, last, threshold, bounds);
        break;
    default:
        IncludeChangedPixels<4>(first, last, threshold, bounds);
        break;
    }
}

/// Widths of the first capture's parts left, above, right of and below the region.
struct Margins {
    int left;
    int top;
    int right;
    int bottom;
};

Margins MarginsOf(const cv::Rect& region, const cv::Size& captureSize)
{
    return Margins{region.x, region.y, captureSize.width - region.x - region.width,
                   captureSize.height - region.y - region.height};
}

/// A pixel copy between two equally sized parts. Views are checked against their images by
/// OpenCV; the type check makes a mismatch fail instead of silently re-allocating the target.
void CopyPart(const cv::Mat& source, const cv::Rect& sourcePart, cv::Mat& target, const cv::Rect& targetPart)
{
    CV_Assert(source.type() == target.type() && sourcePart.size() == targetPart.size());
    cv::Mat targetView = target(targetPart);
    source(sourcePart).copyTo(targetView);
}

/// Row of the first capture whose colour a margin column takes: `distance` rows above the bottom
/// edge, but never fewer than 2s. Computed wide and clamped so that an oversized scale factor
/// still reaches the bounds check as a row outside the capture.
int SamplingRow(int rows, int scaleFactor, std::int64_t offset)
{
    const std::int64_t s = scaleFactor;
    const std::int64_t row = rows - std::max(2 * s, 12 * s - offset);
    return static_cast<int>(std::clamp<std::int64_t>(row, -1, rows));
}

void DrawColumn(cv::Mat& canvas, int column, const Colour& colour)
{
    cv::line(canvas, cv::Point(column, 0), cv::Point(column, canvas.rows - 1),
             cv::Scalar(colour[0], colour[1], colour[2], colour[3]), 1, cv::LINE_4, 0);
}

/// The outermost column is sampled 12s rows up, each column further in one row lower.
void DrawLeftMarginColumns(const cv::Mat& first, cv::Mat& canvas, int left, int scaleFactor)
{
    for (int i = 0; i < left; ++i) {
        DrawColumn(canvas, i, PixelAt(first, cv::Point(i, SamplingRow(first.rows, scaleFactor, i))));
    }
}

/// The innermost margin column is sampled 12s rows up, each column further out one row lower:
/// deliberately not the mirror image of the left side.
void DrawRightMarginColumns(const cv::Mat& first, cv::Mat& canvas, int right, int scaleFactor)
{
    for (int j = 1; j <= right; ++j) {
        const int row = SamplingRow(first.rows, scaleFactor, static_cast<std::int64_t>(right) - j);
        DrawColumn(canvas, canvas.cols - j, PixelAt(first, cv::Point(first.cols - j, row)));
    }
}

}  // namespace

cv::Rect SmartStitcher::FindRegionWithDifferences(const cv::Mat& first, const cv::Mat& last) const
{
    const cv::Rect wholeFirst(0, 0, first.cols, first.rows);
    if (!AreComparable(first, last)) {
        return wholeFirst;
    }
    ChangedBounds bounds{first.cols, first.rows, 0, 0};
    IncludeChangedPixels(first, last, static_cast<unsigned int>(parameters_.differenceThreshold), bounds);
    if (!bounds.SpansMoreThanOneRowAndColumn()) {
        return wholeFirst;
    }
    return cv::Rect(bounds.minCol, bounds.minRow, bounds.maxCol - bounds.minCol + 1, bounds.maxRow - bounds.minRow + 1);
}

cv::Mat SmartStitcher::StitchImages(const cv::Mat& first, cv::Mat stitched, const cv::Rect& region,
                                    int scaleFactor) const
{
    const Margins margins = MarginsOf(region, first.size());
    cv::Mat canvas =
        LargeZeros(cv::Size(stitched.cols + margins.left + margins.right, stitched.rows + margins.top + margins.bottom),
                   stitched.type());

    if (margins.top > 0) {
        const cv::Rect topStrip(0, 0, first.cols, margins.top);
        CopyPart(first, topStrip, canvas, topStrip);
    }
    if (margins.bottom > 0) {
        // Only the region's columns, moved down to sit below the stitched region.
        CopyPart(first, cv::Rect(region.x, region.y + region.height, region.width, margins.bottom), canvas,
                 cv::Rect(region.x, stitched.rows + region.y, region.width, margins.bottom));
    }
    if (margins.left > 0) {
        // Each side column runs down the full height in one colour; the capture's own strip then
        // overwrites the top of it.
        DrawLeftMarginColumns(first, canvas, margins.left, scaleFactor);
        const cv::Rect leftStrip(0, 0, margins.left, first.rows);
        CopyPart(first, leftStrip, canvas, leftStrip);
    }
    if (margins.right > 0) {
        DrawRightMarginColumns(first, canvas, margins.right, scaleFactor);
        const cv::Rect rightStrip(region.x + region.width, 0, margins.right, first.rows);
        CopyPart(first, rightStrip, canvas, rightStrip);
    }
    // Last, so the stitched pixels win over anything the strips and lines put there.
    CopyPart(stitched, cv::Rect(0, 0, stitched.cols, stitched.rows), canvas,
             cv::Rect(region.x, region.y, stitched.cols, stitched.rows));
    stitched.release();
    return canvas;
}

}  // namespace Stitching
}  // namespace ZOLT
