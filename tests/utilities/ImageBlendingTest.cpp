#include <ZOLT/Utilities.h>

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace ZOLT {
namespace Stitching {
namespace {

const char kWrongSize[] = "The Ranges provided must be the same width and heigh as the source image\n";
const char kOutOfBounds[] = "The Ranges provided must be within the bounds of the target image\n";

cv::Mat Filled(int rows, int cols, const cv::Scalar& colour, int type = CV_8UC4)
{
    return cv::Mat(rows, cols, type, colour);
}

bool SamePixels(const cv::Mat& first, const cv::Mat& second)
{
    return first.size() == second.size() && first.type() == second.type() &&
           cv::countNonZero(cv::Mat(first != second).reshape(1)) == 0;
}

/// Blends and returns what was written to the standard error stream.
std::string Blend(const cv::Mat& source, cv::Mat& target, cv::Range rows, cv::Range cols)
{
    testing::internal::CaptureStderr();
    Utilities::BlendImages(source, target, rows, cols);
    return testing::internal::GetCapturedStderr();
}

TEST(ImageBlending, CopiesOnlyPixelsWithAlphaWholeAndUnmixed)
{
    cv::Mat source = Filled(4, 5, cv::Scalar(10, 20, 30, 255));
    source(cv::Rect(0, 0, 2, 4)).setTo(cv::Scalar(99, 98, 97, 0));   // transparent, colour kept
    source.at<cv::Vec4b>(3, 4) = cv::Vec4b(1, 2, 3, 128);             // semi-transparent
    cv::Mat target = Filled(10, 12, cv::Scalar(200, 201, 202, 203));
    const cv::Mat before = target.clone();

    EXPECT_EQ(Blend(source, target, cv::Range(3, 7), cv::Range(6, 11)), "");

    cv::Mat expected = before.clone();
    expected(cv::Rect(8, 3, 3, 4)).setTo(cv::Scalar(10, 20, 30, 255));
    expected.at<cv::Vec4b>(6, 10) = cv::Vec4b(1, 2, 3, 128);
    EXPECT_TRUE(SamePixels(target, expected));
}

TEST(ImageBlending, FullyTransparentSourceLeavesTheTargetUnchanged)
{
    const cv::Mat source = Filled(5, 5, cv::Scalar(50, 60, 70, 0));
    cv::Mat target = Filled(5, 5, cv::Scalar(1, 2, 3, 4));
    const cv::Mat before = target.clone();
    EXPECT_EQ(Blend(source, target, cv::Range(0, 5), cv::Range(0, 5)), "");
    EXPECT_TRUE(SamePixels(target, before));
}

TEST(ImageBlending, RegionEndingAtTheLastRowAndColumnIsAccepted)
{
    const cv::Mat source = Filled(3, 4, cv::Scalar(9, 9, 9, 255));
    cv::Mat target = Filled(8, 9, cv::Scalar(0, 0, 0, 0));
    EXPECT_EQ(Blend(source, target, cv::Range(5, 8), cv::Range(5, 9)), "");
    EXPECT_EQ(cv::countNonZero(target.reshape(1)), 3 * 4 * 4);
    EXPECT_EQ(target.at<cv::Vec4b>(7, 8), cv::Vec4b(9, 9, 9, 255));
}

TEST(ImageBlending, RejectsWrongSizesBeforeBounds)
{
    const cv::Mat source = Filled(4, 4, cv::Scalar(9, 9, 9, 255));
    cv::Mat target = Filled(6, 6, cv::Scalar(1, 1, 1, 1));
    const cv::Mat before = target.clone();

    EXPECT_EQ(Blend(source, target, cv::Range(0, 3), cv::Range(0, 4)), kWrongSize);
    EXPECT_EQ(Blend(source, target, cv::Range(0, 4), cv::Range(1, 6)), kWrongSize);
    // Wrong size and out of bounds at once: only the size message.
    EXPECT_EQ(Blend(source, target, cv::Range(4, 9), cv::Range(-2, 2)), kWrongSize);
    EXPECT_EQ(Blend(source, target, cv::Range(3, 7), cv::Range(0, 4)), kOutOfBounds);
    EXPECT_EQ(Blend(source, target, cv::Range(0, 4), cv::Range(-1, 3)), kOutOfBounds);
    EXPECT_EQ(Blend(source, target, cv::Range(INT_MIN, INT_MIN + 4), cv::Range(0, 4)), kOutOfBounds);
    EXPECT_TRUE(SamePixels(target, before));
}

TEST(ImageBlending, SourceWithoutAlphaIsCopiedWhole)
{
    const cv::Mat source = Filled(3, 3, cv::Scalar(0, 0, 0), CV_8UC3);
    cv::Mat target = Filled(5, 5, cv::Scalar(7, 7, 7), CV_8UC3);
    EXPECT_EQ(Blend(source, target, cv::Range(1, 4), cv::Range(2, 5)), "");
    EXPECT_EQ(cv::countNonZero(target.reshape(1) == 0), 3 * 3 * 3);
    EXPECT_EQ(target.at<cv::Vec3b>(1, 2), cv::Vec3b(0, 0, 0));
    EXPECT_EQ(target.at<cv::Vec3b>(0, 2), cv::Vec3b(7, 7, 7));
}

TEST(ImageBlending, WiderAlphaIsReadAsZeroOrNot)
{
    cv::Mat source = Filled(2, 2, cv::Scalar(1000, 2000, 3000, 0), CV_16UC4);
    source.at<cv::Vec4w>(1, 1) = cv::Vec4w(4, 5, 6, 256);  // would vanish if cut to 8 bits
    cv::Mat target = Filled(2, 2, cv::Scalar(7, 7, 7, 7), CV_16UC4);
    EXPECT_EQ(Blend(source, target, cv::Range(0, 2), cv::Range(0, 2)), "");
    EXPECT_EQ(target.at<cv::Vec4w>(1, 1), cv::Vec4w(4, 5, 6, 256));
    EXPECT_EQ(target.at<cv::Vec4w>(0, 0), cv::Vec4w(7, 7, 7, 7));
}

TEST(ImageBlending, MismatchedTypesLeaveTheTargetUnchanged)
{
    const cv::Mat source = Filled(2, 2, cv::Scalar(9, 9, 9), CV_8UC3);
    cv::Mat target = Filled(2, 2, cv::Scalar(1, 1, 1, 1));
    const cv::Mat before = target.clone();
    EXPECT_EQ(Blend(source, target, cv::Range(0, 2), cv::Range(0, 2)),
              "The source image must be of the same type as the target image\n");
    EXPECT_TRUE(SamePixels(target, before));
}

}  // namespace
}  // namespace Stitching
}  // namespace ZOLT
