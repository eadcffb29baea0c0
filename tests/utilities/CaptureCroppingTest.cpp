// Clearing the part of a capture that the previous capture already shows: straight and sloped
// cuts, their worked values, and the cuts that are refused.

#include "UtilitiesAccess.h"
#include "TestImages.h"

#include <ZOLT/Utilities.h>

#include <gtest/gtest.h>

#include <climits>

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
    cv::Mat sum;
    cv::transform(image, sum, cv::Mat::ones(1, image.channels(), CV_32F));
    return sum == 0;
}

/// 255 over rows [rowFrom, rowTo] and columns [colFrom, colTo] of a `rows` x `cols` mask.
cv::Mat Band(int rows, int cols, int rowFrom, int rowTo, int colFrom, int colTo)
{
    cv::Mat mask = cv::Mat::zeros(rows, cols, CV_8U);
    mask(cv::Range(rowFrom, rowTo + 1), cv::Range(colFrom, colTo + 1)).setTo(255);
    return mask;
}

cv::Mat CropWith(const Translation& translation, int rows = 100, int cols = 100, int type = CV_8UC4)
{
    cv::Mat capture = OpaqueCapture(rows, cols, type);
    Utilities::CropCaptureImage(capture, translation, cv::Rect(0, 0, cols, rows));
    return ClearedMask(capture);
}

TEST(CaptureCropping, StraightMovesClearTheCoveredHalfOfTheOverlap)
{
    const struct {
        cv::Mat cleared;
        cv::Mat expected;
    } cases[] = {
        // Downward: the overlap is rows 0..59, its upper half is cleared; upward the lower half.
        {CropWith(Translation(-40, 0)), Band(100, 100, 0, 30, 0, 99)},
        {CropWith(Translation(40, 0)), Band(100, 100, 70, 99, 0, 99)},
        {CropWith(Translation(0, 30)), Band(100, 100, 0, 99, 65, 99)},
        {CropWith(Translation(0, -30)), Band(100, 100, 0, 99, 0, 35)},
        // No move at all clears the left half and its middle column.
        {CropWith(Translation(0, 0)), Band(100, 100, 0, 99, 0, 50)},
        // (h - a) / 2 truncates toward zero: a move one row beyond the capture still clears row 0.
        {CropWith(Translation(-101, 0)), Band(100, 100, 0, 0, 0, 99)},
        // Every channel is cleared, whatever the channel count and depth.
        {CropWith(Translation(-10, 0), 20, 30, CV_8UC1), Band(20, 30, 0, 5, 0, 29)},
        {CropWith(Translation(-10, 0), 20, 30, CV_8UC3), Band(20, 30, 0, 5, 0, 29)},
        {CropWith(Translation(-10, 0), 20, 30, CV_16UC4), Band(20, 30, 0, 5, 0, 29)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cv::countNonZero(c.cleared != c.expected), 0);
    }
    // Only the rectangle's size decides the cut, not its position.
    cv::Mat capture = OpaqueCapture(60, 80);
    Utilities::CropCaptureImage(capture, Translation(-20, 0), cv::Rect(35, -7, 80, 60));
    EXPECT_EQ(cv::countNonZero(ClearedMask(capture) != Band(60, 80, 0, 20, 0, 79)), 0);
}

/// Rows of column x that were cleared, as [first, last]; (-1, -1) when none.
std::pair<int, int> ClearedRows(const cv::Mat& cleared, int x)
{
    std::vector<cv::Point> points;
    cv::findNonZero(cleared.col(x), points);
    return points.empty() ? std::make_pair(-1, -1) : std::make_pair(points.front().y, points.back().y);
}

TEST(CaptureCropping, DiagonalMovesClearFromTheLineTowardTheFlaggedSide)
{
    const struct {
        Translation translation;
        int column;
        std::pair<int, int> rows;
    } cases[] = {
        // (-40, -20): the line runs from (0, 60) to (80, 0), slope 0.75, everything above goes.
        // The left walk stands on column 0 until its row has passed the last row.
        {Translation(-40, -20), 40, {0, 30}},  {Translation(-40, -20), 1, {0, 59}},
        {Translation(-40, -20), 79, {0, 0}},   {Translation(-40, -20), 99, {0, 0}},
        {Translation(-40, -20), 0, {0, 99}},
        // (40, 20): from (20, 99) to (99, 40); everything below it goes.
        {Translation(40, 20), 20, {99, 99}},   {Translation(40, 20), 59, {69, 99}},
        {Translation(40, 20), 0, {99, 99}},
        // (-40, 20): from (20, 0) to (99, 60), above the line.
        {Translation(-40, 20), 20, {0, 0}},    {Translation(-40, 20), 59, {0, 29}},
        {Translation(-40, 20), 5, {0, 0}},
        // (40, -20): from (0, 40) to (80, 99), below the line; the left walk stands on column 0
        // while its row climbs to row 0, so that column goes whole.
        {Translation(40, -20), 0, {0, 99}},    {Translation(40, -20), 40, {69, 99}},
        {Translation(40, -20), 95, {99, 99}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClearedRows(CropWith(c.translation), c.column), c.rows)
            << "(" << c.translation.GetRows() << ", " << c.translation.GetCols() << ") column " << c.column;
    }
}

TEST(CaptureCropping, StraightCutsAndClearingStepsClearWholeBands)
{
    const cv::Mat original = OpaqueCapture(10, 12);
    const auto cut = [&original](const std::function<void(cv::Mat&)>& clip) {
        cv::Mat image = original.clone();
        clip(image);
        return ClearedMask(image);
    };
    using Access = TestAccess<Utilities>;
    const struct {
        cv::Mat cleared;
        cv::Mat expected;
    } cases[] = {
        {cut([](cv::Mat& m) { Utilities::ClipCorner(m, {6, 3}, {6, 3}, false); }), Band(10, 12, 0, 9, 6, 11)},
        {cut([](cv::Mat& m) { Utilities::ClipCorner(m, {3, 7}, {9, 7}, true); }), Band(10, 12, 0, 7, 0, 11)},
        {cut([](cv::Mat& m) { Access::MakeColumnTransparent(m, {4, 6}, true); }), Band(10, 12, 0, 6, 4, 4)},
        {cut([](cv::Mat& m) { Access::MakeColumnTransparent(m, {4, 6}, false); }), Band(10, 12, 6, 9, 4, 4)},
        {cut([](cv::Mat& m) { Access::MakeRowTransparent(m, {5, 2}, true); }), Band(10, 12, 2, 2, 0, 5)},
        {cut([](cv::Mat& m) { Access::MakeRowTransparent(m, {5, 2}, false); }), Band(10, 12, 2, 2, 5, 11)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cv::countNonZero(c.cleared != c.expected), 0);
    }
}

TEST(CaptureCropping, PointsOutsideTheImageOrMovesAsLargeAsItLeaveItUnchanged)
{
    const cv::Mat original = OpaqueCapture(100, 100);
    const std::function<void(cv::Mat&)> cuts[] = {
        [](cv::Mat& m) { Utilities::ClipCorner(m, {100, 0}, {100, 99}, true); },
        [](cv::Mat& m) { Utilities::ClipCorner(m, {0, 100}, {10, 100}, true); },
        [](cv::Mat& m) { Utilities::ClipCorner(m, {-1, 3}, {10, 20}, true); },
        [](cv::Mat& m) { Utilities::ClipCorner(m, {0, 0}, {4, -2}, true); },
    };
    const Translation moves[] = {Translation(100, 0),       Translation(-102, 0),       Translation(0, 100),
                                 Translation(INT_MIN, 0),   Translation(0, INT_MIN),    Translation(INT_MIN, INT_MAX),
                                 Translation(-5, 101)};
    std::vector<std::function<void(cv::Mat&)>> all(std::begin(cuts), std::end(cuts));
    for (const Translation& move : moves) {
        all.push_back([move](cv::Mat& m) { Utilities::CropCaptureImage(m, move, cv::Rect(0, 0, 100, 100)); });
    }
    for (std::size_t i = 0; i < all.size(); ++i) {
        cv::Mat image = original.clone();
        EXPECT_EQ(Testing::StderrOf([&] { all[i](image); }), kOutOfBounds) << "case " << i;
        EXPECT_TRUE(Testing::SamePixels(image, original)) << "case " << i;
    }
}

}  // namespace
}  // namespace Stitching
}  // namespace ZOLT
