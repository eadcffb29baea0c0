// Laying one image over another by its alpha channel, and the ranges that are refused.

#include "TestImages.h"

#include <ZOLT/Utilities.h>

#include <gtest/gtest.h>

#include <climits>

namespace ZOLT {
namespace Stitching {
namespace {

using Testing::SamePixels;

std::string Blend(const cv::Mat& source, cv::Mat& target, cv::Range rows, cv::Range cols)
{
    return Testing::StderrOf([&] { Utilities::BlendImages(source, target, rows, cols); });
}

TEST(ImageBlending, CopiesOnlyPixelsWithAlphaWholeAndUnmixed)
{
    cv::Mat source(4, 5, CV_8UC4, cv::Scalar(10, 20, 30, 255));
    source(cv::Rect(0, 0, 2, 4)).setTo(cv::Scalar(99, 98, 97, 0));  // transparent, colour kept
    source.at<cv::Vec4b>(3, 4) = cv::Vec4b(1, 2, 3, 128);            // semi-transparent
    cv::Mat target(8, 11, CV_8UC4, cv::Scalar(200, 201, 202, 203));
    cv::Mat expected = target.clone();
    // The region ends at the last row and column.
    EXPECT_EQ(Blend(source, target, cv::Range(4, 8), cv::Range(6, 11)), "");
    expected(cv::Rect(8, 4, 3, 4)).setTo(cv::Scalar(10, 20, 30, 255));
    expected.at<cv::Vec4b>(7, 10) = cv::Vec4b(1, 2, 3, 128);
    EXPECT_TRUE(SamePixels(target, expected));

    // Without an alpha channel every pixel is copied; a wider alpha is read whole (256 is not 0).
    const cv::Mat black(3, 3, CV_8UC3, cv::Scalar::all(0));
    cv::Mat grey(5, 5, CV_8UC3, cv::Scalar::all(7));
    EXPECT_EQ(Blend(black, grey, cv::Range(1, 4), cv::Range(2, 5)), "");
    EXPECT_EQ(cv::countNonZero(grey.reshape(1) == 0), 3 * 3 * 3);
    EXPECT_TRUE(SamePixels(grey(cv::Rect(2, 1, 3, 3)), black));
    cv::Mat wide(2, 2, CV_16UC4, cv::Scalar(1000, 2000, 3000, 0));
    wide.at<cv::Vec4w>(1, 1) = cv::Vec4w(4, 5, 6, 256);
    cv::Mat wideTarget(2, 2, CV_16UC4, cv::Scalar::all(7));
    EXPECT_EQ(Blend(wide, wideTarget, cv::Range(0, 2), cv::Range(0, 2)), "");
    EXPECT_EQ(wideTarget.at<cv::Vec4w>(1, 1), cv::Vec4w(4, 5, 6, 256));
    EXPECT_EQ(wideTarget.at<cv::Vec4w>(0, 0), cv::Vec4w(7, 7, 7, 7));
}

TEST(ImageBlending, RefusesWrongSizesBeforeBoundsAndOtherTypes)
{
    const std::string wrongSize = "The Ranges provided must be the same width and heigh as the source image\n";
    const std::string outOfBounds = "The Ranges provided must be within the bounds of the target image\n";
    const cv::Mat source(4, 4, CV_8UC4, cv::Scalar(9, 9, 9, 255));
    const struct {
        cv::Range rows;
        cv::Range cols;
        std::string message;
    } cases[] = {
        {{0, 3}, {0, 4}, wrongSize},
        {{0, 4}, {1, 6}, wrongSize},
        {{4, 9}, {-2, 2}, wrongSize},  // wrong size and out of bounds: only the size message
        {{3, 7}, {0, 4}, outOfBounds},
        {{0, 4}, {-1, 3}, outOfBounds},
        {{INT_MIN, INT_MIN + 4}, {0, 4}, outOfBounds},
    };
    cv::Mat target(6, 6, CV_8UC4, cv::Scalar::all(1));
    const cv::Mat before = target.clone();
    for (const auto& c : cases) {
        EXPECT_EQ(Blend(source, target, c.rows, c.cols), c.message) << c.rows.start << " " << c.cols.start;
    }
    EXPECT_EQ(Blend(cv::Mat(4, 4, CV_8UC3, cv::Scalar::all(9)), target, cv::Range(0, 4), cv::Range(0, 4)),
              "The source image must be of the same type as the target image\n");
    EXPECT_TRUE(SamePixels(target, before));
}

}  // namespace
}  // namespace Stitching
}  // namespace ZOLT
