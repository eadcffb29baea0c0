#include "UtilitiesAccess.h"

#include <ZOLT/Utilities.h>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <climits>
#include <string>

namespace ZOLT {
namespace Stitching {
namespace {

const char kOutOfBounds[] = "Points given are out of the bounds for the given matrix\n";

/// An opaque capture in which no pixel is all zeros, so every cleared pixel shows.
cv::Mat OpaqueCapture(int rows, int cols, int type = CV_8UC4)
{
    cv::Mat capture(rows, cols, type);
    cv::randu(capture, cv::Scalar::all(1), cv::Scalar::all(256));
    return capture;
}

/// 255 where every channel of the pixel is 0.
cv::Mat ClearedMask(const cv::Mat& image)
{
    cv::Mat grey;
    cv::Mat any;
    cv::transform(image, grey, cv::Mat::ones(1, image.channels(), CV_32F));
    cv::compare(grey, 0, any, cv::CMP_EQ);
    return any;
}

/// 255 over rows [rowFrom, rowTo] and columns [colFrom, colTo].
cv::Mat BandMask(cv::Size size, int rowFrom, int rowTo, int colFrom, int colTo)
{
    cv::Mat mask = cv::Mat::zeros(size, CV_8U);
    mask(cv::Range(rowFrom, rowTo + 1), cv::Range(colFrom, colTo + 1)).setTo(255);
    return mask;
}

bool SameMask(const cv::Mat& actual, const cv::Mat& expected)
{
    return cv::countNonZero(actual != expected) == 0;
}

bool SamePixels(const cv::Mat& first, const cv::Mat& second)
{
    return first.size() == second.size() && first.type() == second.type() &&
           cv::countNonZero(cv::Mat(first != second).reshape(1)) == 0;
}

/// Rows of column x that were cleared, as [first, last]; (-1, -1) when none.
std::pair<int, int> ClearedRows(const cv::Mat& cleared, int x)
{
    int first = -1;
    int last = -1;
    for (int y = 0; y < cleared.rows; ++y) {
        if (cleared.at<uchar>(y, x) != 0) {
            first = first < 0 ? y : first;
            last = y;
        }
    }
    return {first, last};
}

cv::Mat CropWith(const Translation& translation, int rows = 100, int cols = 100)
{
    cv::Mat capture = OpaqueCapture(rows, cols);
    Utilities::CropCaptureImage(capture, translation, cv::Rect(0, 0, cols, rows));
    return ClearedMask(capture);
}

TEST(CaptureCropping, VerticalMovesClearTheCoveredHalfOfTheOverlap)
{
    const cv::Size size(100, 100);
    // Downward: the overlap is rows 0..59, its upper half is cleared.
    EXPECT_TRUE(SameMask(CropWith(Translation(-40, 0)), BandMask(size, 0, 30, 0, 99)));
    // Upward: the overlap is rows 40..99, its lower half is cleared.
    EXPECT_TRUE(SameMask(CropWith(Translation(40, 0)), BandMask(size, 70, 99, 0, 99)));
}

TEST(CaptureCropping, HorizontalMovesClearTheCoveredHalfOfTheOverlap)
{
    const cv::Size size(100, 100);
    EXPECT_TRUE(SameMask(CropWith(Translation(0, 30)), BandMask(size, 0, 99, 65, 99)));
    EXPECT_TRUE(SameMask(CropWith(Translation(0, -30)), BandMask(size, 0, 99, 0, 35)));
    // No move at all clears the left half and its middle column.
    EXPECT_TRUE(SameMask(CropWith(Translation(0, 0)), BandMask(size, 0, 99, 0, 50)));
}

TEST(CaptureCropping, OnlyTheRectangleSizeDecidesTheCut)
{
    cv::Mat capture = OpaqueCapture(60, 80);
    Utilities::CropCaptureImage(capture, Translation(-20, 0), cv::Rect(35, -7, 80, 60));
    EXPECT_TRUE(SameMask(ClearedMask(capture), BandMask(capture.size(), 0, 20, 0, 79)));
}

TEST(CaptureCropping, DiagonalMoveClearsAboveTheLineWithClampedWalks)
{
    // Translation (-40, -20): the line runs from (0, 60) to (80, 0), slope 0.75.
    const cv::Mat cleared = CropWith(Translation(-40, -20));
    EXPECT_EQ(ClearedRows(cleared, 40), std::make_pair(0, 30));
    EXPECT_EQ(ClearedRows(cleared, 1), std::make_pair(0, 59));
    for (int x = 79; x < 100; ++x) {
        EXPECT_EQ(ClearedRows(cleared, x), std::make_pair(0, 0)) << "column " << x;
    }
    // The left walk stands on column 0 until its row has passed the last row.
    EXPECT_EQ(ClearedRows(cleared, 0), std::make_pair(0, 99));
}

TEST(CaptureCropping, DiagonalMovesClearTowardTheFlaggedSide)
{
    // (40, 20): the line runs from (20, 99) to (99, 40); everything below it goes.
    const cv::Mat upRight = CropWith(Translation(40, 20));
    EXPECT_EQ(ClearedRows(upRight, 20), std::make_pair(99, 99));
    EXPECT_EQ(ClearedRows(upRight, 59), std::make_pair(69, 99));
    EXPECT_EQ(ClearedRows(upRight, 0), std::make_pair(99, 99));
    // (-40, 20): from (20, 0) to (99, 60), above the line.
    const cv::Mat downRight = CropWith(Translation(-40, 20));
    EXPECT_EQ(ClearedRows(downRight, 20), std::make_pair(0, 0));
    EXPECT_EQ(ClearedRows(downRight, 59), std::make_pair(0, 29));
    EXPECT_EQ(ClearedRows(downRight, 5), std::make_pair(0, 0));
    // (40, -20): from (0, 40) to (80, 99), below the line; the left walk stands on column 0
    // while its row climbs to row 0, so that column goes whole.
    const cv::Mat upLeft = CropWith(Translation(40, -20));
    EXPECT_EQ(ClearedRows(upLeft, 0), std::make_pair(0, 99));
    EXPECT_EQ(ClearedRows(upLeft, 40), std::make_pair(69, 99));
    EXPECT_EQ(ClearedRows(upLeft, 95), std::make_pair(99, 99));
}

/// The sloped cut exactly as a column-by-column walk in single precision, step by step.
cv::Mat ReferenceSlopedCut(cv::Mat image, cv::Point p1, cv::Point p2, bool towardStart)
{
    const auto column = [&](int x, int y) {
        cv::line(image, cv::Point(x, y), cv::Point(x, towardStart ? 0 : image.rows - 1), cv::Scalar::all(0), 1,
                 cv::LINE_4);
    };
    const float slope = static_cast<float>(p1.y - p2.y) / static_cast<float>(p2.x - p1.x);
    column(p1.x, p1.y);
    for (const float direction : {1.0f, -1.0f}) {
        float x = static_cast<float>(p1.x);
        float y = static_cast<float>(p1.y);
        bool rowEnd = false;
        bool colEnd = false;
        while (!(rowEnd && colEnd)) {
            x += direction;
            y -= direction * slope;
            if (y > static_cast<float>(image.rows - 1)) {
                y = static_cast<float>(image.rows - 1);
                rowEnd = true;
            } else if (y < 0.0f) {
                y = 0.0f;
                rowEnd = true;
            }
            if (x > static_cast<float>(image.cols - 1)) {
                x = static_cast<float>(image.cols - 1);
                colEnd = true;
            } else if (x < 0.0f) {
                x = 0.0f;
                colEnd = true;
            }
            column(static_cast<int>(x), static_cast<int>(y));
        }
    }
    return image;
}

TEST(CaptureCropping, SlopedCutsMatchTheStepByStepWalk)
{
    const cv::Mat original = OpaqueCapture(90, 130);
    const cv::Point cases[][2] = {{{0, 60}, {80, 0}},   {{3, 89}, {129, 1}},  {{0, 1}, {129, 0}},
                                  {{60, 0}, {61, 89}},  {{129, 88}, {0, 89}}, {{50, 45}, {70, 10}},
                                  {{10, 20}, {120, 70}}};
    for (const auto& points : cases) {
        for (const bool towardStart : {true, false}) {
            cv::Mat image = original.clone();
            Utilities::ClipCorner(image, points[0], points[1], towardStart);
            EXPECT_TRUE(SamePixels(image, ReferenceSlopedCut(original.clone(), points[0], points[1], towardStart)))
                << points[0] << " " << points[1] << " " << towardStart;
        }
    }
}

TEST(CaptureCropping, StraightCutsClearWholeBands)
{
    const cv::Mat original = OpaqueCapture(40, 50);
    cv::Mat same = original.clone();
    Utilities::ClipCorner(same, cv::Point(20, 7), cv::Point(20, 7), false);
    EXPECT_TRUE(SameMask(ClearedMask(same), BandMask(original.size(), 0, 39, 20, 49)));

    cv::Mat horizontal = original.clone();
    Utilities::ClipCorner(horizontal, cv::Point(3, 12), cv::Point(30, 12), true);
    EXPECT_TRUE(SameMask(ClearedMask(horizontal), BandMask(original.size(), 0, 12, 0, 49)));
}

TEST(CaptureCropping, PointsOutsideTheImageLeaveItUnchanged)
{
    const cv::Mat original = OpaqueCapture(40, 50);
    const cv::Point outside[][2] = {{{50, 0}, {50, 39}}, {{0, 40}, {10, 40}}, {{-1, 3}, {10, 20}}, {{0, 0}, {4, -2}}};
    for (const auto& points : outside) {
        cv::Mat image = original.clone();
        testing::internal::CaptureStderr();
        Utilities::ClipCorner(image, points[0], points[1], true);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), kOutOfBounds);
        EXPECT_TRUE(SamePixels(image, original));
    }
}

TEST(CaptureCropping, MovesAsLargeAsTheCaptureLeaveItWhole)
{
    const cv::Mat original = OpaqueCapture(100, 100);
    const Translation whole[] = {Translation(100, 0), Translation(-102, 0), Translation(0, 100),
                                 Translation(INT_MIN, 0),  Translation(0, INT_MIN), Translation(INT_MIN, INT_MAX),
                                 Translation(-5, 101)};
    for (const Translation& translation : whole) {
        cv::Mat capture = original.clone();
        testing::internal::CaptureStderr();
        Utilities::CropCaptureImage(capture, translation, cv::Rect(0, 0, 100, 100));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), kOutOfBounds);
        EXPECT_TRUE(SamePixels(capture, original)) << translation.GetRows() << ", " << translation.GetCols();
    }
    // (h - a) / 2 truncates toward zero: a move one row beyond the capture still clears row 0.
    EXPECT_TRUE(SameMask(CropWith(Translation(-101, 0)), BandMask(cv::Size(100, 100), 0, 0, 0, 99)));
}

TEST(CaptureCropping, ClearsEveryChannelWhateverTheChannelCount)
{
    for (const int type : {CV_8UC1, CV_8UC3, CV_16UC4}) {
        cv::Mat capture = OpaqueCapture(20, 30, type);
        Utilities::CropCaptureImage(capture, Translation(-10, 0), cv::Rect(0, 0, 30, 20));
        EXPECT_TRUE(SameMask(ClearedMask(capture), BandMask(capture.size(), 0, 5, 0, 29))) << type;
    }
}

TEST(CaptureCropping, ColumnAndRowClearingStopAtTheGivenPoint)
{
    const cv::Mat original = OpaqueCapture(10, 12);
    cv::Mat up = original.clone();
    TestAccess<Utilities>::MakeColumnTransparent(up, cv::Point(4, 6), true);
    EXPECT_TRUE(SameMask(ClearedMask(up), BandMask(original.size(), 0, 6, 4, 4)));
    cv::Mat down = original.clone();
    TestAccess<Utilities>::MakeColumnTransparent(down, cv::Point(4, 6), false);
    EXPECT_TRUE(SameMask(ClearedMask(down), BandMask(original.size(), 6, 9, 4, 4)));
    cv::Mat left = original.clone();
    TestAccess<Utilities>::MakeRowTransparent(left, cv::Point(5, 2), true);
    EXPECT_TRUE(SameMask(ClearedMask(left), BandMask(original.size(), 2, 2, 0, 5)));
    cv::Mat right = original.clone();
    TestAccess<Utilities>::MakeRowTransparent(right, cv::Point(5, 2), false);
    EXPECT_TRUE(SameMask(ClearedMask(right), BandMask(original.size(), 2, 2, 5, 11)));
}

}  // namespace
}  // namespace Stitching
}  // namespace ZOLT
