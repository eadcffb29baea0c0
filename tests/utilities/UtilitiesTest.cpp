// Cropping a capture to what the previous one does not show, laying it by its alpha, similarity
// and spill-file names.

#include "TestImages.h"

#include <ZOLT/Utilities.h>

#include <gtest/gtest.h>

#include <set>

namespace ZOLT {
namespace Stitching {
namespace {

/// 255 where the crop cleared a pixel of a 100 x 100 capture in which no pixel starts all zeros.
cv::Mat ClearedBy(const Translation& translation)
{
    cv::Mat capture(100, 100, CV_8UC4);
    cv::randu(capture, cv::Scalar::all(1), cv::Scalar::all(256));
    Utilities::CropCaptureImage(capture, translation, cv::Rect(0, 0, 100, 100));
    cv::Mat sum;
    cv::transform(capture, sum, cv::Mat::ones(1, 4, CV_32F));
    return sum == 0;
}

/// The first and last cleared row of column x; (-1, -1) when none.
std::pair<int, int> ClearedRows(const cv::Mat& cleared, int x)
{
    std::vector<cv::Point> points;
    cv::findNonZero(cleared.col(x), points);
    return points.empty() ? std::make_pair(-1, -1) : std::make_pair(points.front().y, points.back().y);
}

TEST(CaptureCropping, ClearsTheHalfOfTheOverlapThePreviousCaptureShows)
{
    const struct {
        Translation translation;
        cv::Rect cleared;
    } straight[] = {
        {Translation(-40, 0), cv::Rect(0, 0, 100, 31)},  // scrolled down: the upper half of rows 0..59
        {Translation(40, 0), cv::Rect(0, 70, 100, 30)},  // scrolled up: the lower half
        {Translation(0, 30), cv::Rect(65, 0, 35, 100)},
        {Translation(0, -30), cv::Rect(0, 0, 36, 100)},
    };
    for (const auto& c : straight) {
        cv::Mat expected = cv::Mat::zeros(100, 100, CV_8U);
        expected(c.cleared).setTo(255);
        EXPECT_EQ(cv::countNonZero(ClearedBy(c.translation) != expected), 0)
            << c.translation.GetRows() << ", " << c.translation.GetCols();
    }
    // Diagonal moves clear from the line between the overlap's corners toward one side.
    EXPECT_EQ(ClearedRows(ClearedBy(Translation(-40, -20)), 40), std::make_pair(0, 30));
    EXPECT_EQ(ClearedRows(ClearedBy(Translation(40, 20)), 59), std::make_pair(69, 99));
    EXPECT_EQ(ClearedRows(ClearedBy(Translation(40, 20)), 20), std::make_pair(99, 99));
    EXPECT_EQ(ClearedRows(ClearedBy(Translation(-40, 20)), 59), std::make_pair(0, 29));
    EXPECT_EQ(ClearedRows(ClearedBy(Translation(40, -20)), 40), std::make_pair(69, 99));
    // A move as large as the capture leaves it whole, with a diagnostic.
    EXPECT_EQ(Testing::StderrOf([] { EXPECT_EQ(cv::countNonZero(ClearedBy(Translation(-102, 0))), 0); }),
              "Points given are out of the bounds for the given matrix\n");
}

TEST(ImageBlending, CopiesOpaquePixelsUpToTheEdgesAndRefusesBadRanges)
{
    cv::Mat source(4, 5, CV_8UC4, cv::Scalar(10, 20, 30, 255));
    source(cv::Rect(0, 0, 2, 4)).setTo(cv::Scalar(99, 98, 97, 0));
    cv::Mat target(8, 11, CV_8UC4, cv::Scalar(200, 201, 202, 203));
    cv::Mat expected = target.clone();
    expected(cv::Rect(8, 4, 3, 4)).setTo(cv::Scalar(10, 20, 30, 255));
    EXPECT_EQ(Testing::StderrOf([&] { Utilities::BlendImages(source, target, cv::Range(4, 8), cv::Range(6, 11)); }),
              "");
    EXPECT_TRUE(Testing::SamePixels(target, expected));

    const cv::Mat before = target.clone();
    EXPECT_EQ(Testing::StderrOf([&] { Utilities::BlendImages(source, target, cv::Range(5, 9), cv::Range(0, 5)); }),
              "The Ranges provided must be within the bounds of the target image\n");
    EXPECT_EQ(Testing::StderrOf([&] { Utilities::BlendImages(source, target, cv::Range(0, 3), cv::Range(0, 5)); }),
              "The Ranges provided must be the same width and heigh as the source image\n");
    EXPECT_TRUE(Testing::SamePixels(target, before));
}

TEST(Utilities, SimilarityIsOneMinusTheMeanGreyDifferenceAndNamesAreAlphanumeric)
{
    const cv::Mat black(30, 40, CV_8UC4, cv::Scalar(0, 0, 0, 255));
    cv::Mat quarter = black.clone();
    quarter.rowRange(0, 15).setTo(cv::Scalar(128, 128, 128, 255));
    EXPECT_NEAR(Utilities::CalculateSimilarity(black, quarter), 1.0 - 0.5 * 128 / 255, 1e-12);
    EXPECT_EQ(Utilities::CalculateSimilarity(black, black.clone()), 1.0);

    std::set<char> seen;
    for (int draw = 0; draw < 400; ++draw) {
        const std::string name = Utilities::GenerateRandomAlphanumericString(24);
        ASSERT_EQ(name.size(), 24U);
        seen.insert(name.begin(), name.end());
    }
    // Every letter and digit turns up in 9,600 draws, and nothing else.
    EXPECT_EQ(std::string(seen.begin(), seen.end()), "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
}

}  // namespace
}  // namespace Stitching
}  // namespace ZOLT
