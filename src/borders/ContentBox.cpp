// BasicBorderDetection, the content search: the constructor, FindContent and its boundary
// scans; the borders themselves are in BorderExtraction.cpp.
//
// The content box: the bounding box of every pixel that changes, with enough changed
// neighbours, between consecutive captures. Everything outside it is common border.

#include <ZOLT/Borders.h>

#include "core/Diagnostics.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <string>
#include <utility>

namespace ZOLT {
namespace Stitching {

namespace {

/// The grey image of a capture; false (with an error line) for captures that are not 8-bit,
/// whose grey values would not be the bytes the scans read.
bool ConvertToGrey(const cv::Mat& capture, cv::Mat& grey, IStitcherListener* listener)
{
    cv::cvtColor(capture, grey, cv::COLOR_RGBA2GRAY);
    if (grey.depth() != CV_8U) {
        Diagnostics::ErrorLine(listener, "Error: Captures must be 8-bit to identify a content box.");
        return false;
    }
    return true;
}

void BoundaryFailure(const char* sides, std::size_t index, IStitcherListener* listener)
{
    const std::string line = std::string("Error: Failed to find ") + sides + " content boundary for image with index " +
                             std::to_string(index) + ".";
    Diagnostics::ErrorLine(listener, line);
}

}  // namespace

BasicBorderDetection::BasicBorderDetection(std::shared_ptr<IStitcher> stitcher, unsigned int changeThreshold,
                                           unsigned int neighborThreshold)
    : changeThreshold_(changeThreshold),
      neighborThreshold_(neighborThreshold),
      topBorder_(std::make_shared<cv::Mat>()),
      bottomBorder_(std::make_shared<cv::Mat>()),
      leftBorder_(std::make_shared<cv::Mat>()),
      rightBorder_(std::make_shared<cv::Mat>())
{
    stitcher_ = std::move(stitcher);
}

BasicBorderDetection::~BasicBorderDetection()
{
    stitcher_.reset();
    rightBorder_.reset();
    leftBorder_.reset();
    bottomBorder_.reset();
    topBorder_.reset();
}

bool BasicBorderDetection::FindContent(IImageProvider& provider, const cv::Size& size, cv::Range& rowRange,
                                       cv::Range& colRange)
{
    const std::size_t count = provider.Count();
    if (count < 2) {
        Diagnostics::ErrorLine(StitchListener(), "Error: Not enough images to identify a content box.");
        return false;
    }

    // An empty box: starts past the last row and column, ends at 0; every content pixel widens it.
    rowRange = cv::Range(size.height, 0);
    colRange = cv::Range(size.width, 0);

    cv::Mat previousGrey;
    if (!ConvertToGrey(*provider.GetImageAt(0), previousGrey, StitchListener())) {
        return false;
    }
    for (std::size_t i = 1; i < count; ++i) {
        cv::Mat currentGrey;
        if (!ConvertToGrey(*provider.GetImageAt(i), currentGrey, StitchListener())) {
            return false;
        }
        cv::Mat difference;
        cv::absdiff(previousGrey, currentGrey, difference);

        if (!FindTopAndLeftContentBoundary(difference, rowRange, colRange)) {
            BoundaryFailure("top or left", i, StitchListener());
            return false;
        }
        if (!FindBottomAndRightContentBoundary(difference, rowRange, colRange)) {
            BoundaryFailure("bottom or right", i, StitchListener());
            return false;
        }
        previousGrey = currentGrey;
    }

    if (rowRange.start < rowRange.end && colRange.start < colRange.end) {
        return true;
    }
    Diagnostics::ErrorLine(StitchListener(), "Error: Bad content box created.");
    return false;
}

bool BasicBorderDetection::FindTopAndLeftContentBoundary(cv::Mat& difference, cv::Range& rowRange, cv::Range& colRange)
{
    // Once a row lies at or below the box's top, only pixels left of the box can still move it.
    bool topSettled = false;
    for (int r = 0; r < difference.rows; ++r) {
        if (!topSettled && r >= rowRange.start) {
            topSettled = true;
        }
        if (topSettled && colRange.start == 0) {
            break;  // nothing left of the box remains to be found
        }
        const uchar* pixels = difference.ptr<uchar>(r);
        for (int c = 0; c < difference.cols; ++c) {
            if (topSettled && c >= colRange.start) {
                break;
            }
            if (pixels[c] <= changeThreshold_) {
                continue;
            }
            bool isContent = false;
            if (!CheckNearestNeighbors(difference, r, c, isContent)) {
                Diagnostics::ErrorLine(StitchListener(), "Error: Nearest neighbor detection failed.");
                return false;
            }
            if (!isContent) {
                continue;
            }
            if (!topSettled && r < rowRange.start) {
                rowRange.start = r;
                topSettled = true;
            }
            if (c < colRange.start) {
                colRange.start = c;
            }
        }
    }
    return topSettled;
}

bool BasicBorderDetection::FindBottomAndRightContentBoundary(cv::Mat& difference, cv::Range& rowRange,
                                                             cv::Range& colRange)
{
    // The mirror image of the top-down scan: bottom-up, right to left, on the exclusive ends.
    bool bottomSettled = false;
    for (int r = difference.rows - 1; r >= 0; --r) {
        if (!bottomSettled && r < rowRange.end) {
            bottomSettled = true;
        }
        if (bottomSettled && colRange.end >= difference.cols) {
            break;  // nothing right of the box remains to be found
        }
        const uchar* pixels = difference.ptr<uchar>(r);
        for (int c = difference.cols - 1; c >= 0; --c) {
            if (bottomSettled && c < colRange.end) {
                break;
            }
            if (pixels[c] <= changeThreshold_) {
                continue;
            }
            bool isContent = false;
            if (!CheckNearestNeighbors(difference, r, c, isContent)) {
                Diagnostics::ErrorLine(StitchListener(), "Error: Nearest neighbor detection failed.");
                return false;
            }
            if (!isContent) {
                continue;
            }
            if (!bottomSettled && r >= rowRange.end) {
                rowRange.end = r + 1;
                bottomSettled = true;
            }
            if (c >= colRange.end) {
                colRange.end = c + 1;
            }
        }
    }
    return bottomSettled;
}

bool BasicBorderDetection::CheckNearestNeighbors(const cv::Mat& difference, int row, int col, bool& isContent)
{
    const int lastRow = difference.rows - 1;
    const int lastCol = difference.cols - 1;
    if (lastRow < 1 || lastCol < 1) {
        Diagnostics::ErrorLine(StitchListener(), "Error: Image too small to remove border.");
        return false;
    }

    // The neighbours inside the image: 3 at a corner, 5 along an edge, 8 inside. The pixel
    // itself is not counted.
    unsigned int changedNeighbours = 0;
    for (int r = std::max(row - 1, 0); r <= std::min(row + 1, lastRow); ++r) {
        const uchar* pixels = difference.ptr<uchar>(r);
        for (int c = std::max(col - 1, 0); c <= std::min(col + 1, lastCol); ++c) {
            if ((r != row || c != col) && pixels[c] > changeThreshold_) {
                ++changedNeighbours;
            }
        }
    }
    isContent = changedNeighbours > neighborThreshold_;
    return true;
}

}  // namespace Stitching
}  // namespace ZOLT
