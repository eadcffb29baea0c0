// The grey-level similarity of two captures, and random alphanumeric names.

#include "TestImages.h"

#include <ZOLT/Utilities.h>

#include <gtest/gtest.h>

#include <cctype>
#include <map>

namespace ZOLT {
namespace Stitching {
namespace {

cv::Mat Filled(const cv::Scalar& value, int type = CV_8UC4)
{
    return cv::Mat(30, 40, type, value);
}

TEST(CalculateSimilarity, SpansZeroToOneOverTheGreyDifferenceIgnoringAlpha)
{
    const cv::Mat capture = Testing::Noise(cv::Size(40, 30), 1);
    EXPECT_EQ(Utilities::CalculateSimilarity(capture, capture.clone()), 1.0);
    const cv::Mat black = Filled(cv::Scalar(0, 0, 0, 255));
    EXPECT_EQ(Utilities::CalculateSimilarity(black, Filled(cv::Scalar(255, 255, 255, 255))), 0.0);
    EXPECT_EQ(Utilities::CalculateSimilarity(Filled(cv::Scalar::all(0), CV_8UC3), Filled(cv::Scalar::all(255), CV_8UC3)),
              0.0);
    // Half the rows differ by the full range: the mean difference is half of 255.
    cv::Mat half = black.clone();
    half.rowRange(0, 15).setTo(cv::Scalar::all(255));
    EXPECT_DOUBLE_EQ(Utilities::CalculateSimilarity(black, half), 0.5);
    // Alpha does not count; red and blue weigh differently in grey.
    cv::Mat transparent = capture.clone();
    transparent.reshape(1, static_cast<int>(transparent.total())).col(3).setTo(0);
    EXPECT_EQ(Utilities::CalculateSimilarity(capture, transparent), 1.0);
    EXPECT_LT(Utilities::CalculateSimilarity(Filled(cv::Scalar(200, 50, 10, 255)), Filled(cv::Scalar(10, 50, 200, 255))),
              1.0);
    // Unsuitable images are refused by OpenCV.
    EXPECT_THROW(Utilities::CalculateSimilarity(black, black.colRange(0, 39)), cv::Exception);
    EXPECT_THROW(Utilities::CalculateSimilarity(cv::Mat(), cv::Mat()), cv::Exception);
    EXPECT_THROW(Utilities::CalculateSimilarity(Filled(cv::Scalar(1), CV_8UC1), black), cv::Exception);
}

TEST(GenerateRandomAlphanumericString, DrawsEveryAlphanumericEquallyLikely)
{
    EXPECT_TRUE(Utilities::GenerateRandomAlphanumericString(0).empty());
    EXPECT_NE(Utilities::GenerateRandomAlphanumericString(24), Utilities::GenerateRandomAlphanumericString(24));
    std::map<char, int> counts;
    const int names = 5200;
    for (int draw = 0; draw < names; ++draw) {
        const std::string name = Utilities::GenerateRandomAlphanumericString(24);
        ASSERT_EQ(name.size(), 24U);
        for (const char character : name) {
            ++counts[character];
        }
    }
    // All 62 characters occur, nothing else does, and a chi-square test over the counts (61
    // degrees of freedom) stays far below a bound exceeded by chance about once in a million runs.
    ASSERT_EQ(counts.size(), 62U);
    const double expected = names * 24.0 / 62.0;
    double chiSquare = 0.0;
    for (const auto& [character, count] : counts) {
        EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(character))) << character;
        chiSquare += (count - expected) * (count - expected) / expected;
    }
    EXPECT_LT(chiSquare, 130.0);
}

}  // namespace
}  // namespace Stitching
}  // namespace ZOLT
