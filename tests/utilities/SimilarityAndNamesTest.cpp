#include <ZOLT/Utilities.h>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <map>
#include <vector>
#include <string>

using ZOLT::Stitching::Utilities;

namespace {

cv::Mat Filled(int rows, int cols, const cv::Scalar& value, int type = CV_8UC4)
{
    return cv::Mat(rows, cols, type, value);
}

cv::Mat RandomCapture(int rows, int cols, std::uint64_t seed)
{
    cv::Mat capture(rows, cols, CV_8UC4);
    cv::RNG(seed).fill(capture, cv::RNG::UNIFORM, 0, 256);
    return capture;
}

bool IsAlphanumeric(char character)
{
    return (character >= '0' && character <= '9') || (character >= 'A' && character <= 'Z') ||
           (character >= 'a' && character <= 'z');
}

}  // namespace

TEST(CalculateSimilarity, SpansZeroToOneOverTheGreyDifference)
{
    const cv::Mat capture = RandomCapture(30, 40, 1);
    EXPECT_EQ(Utilities::CalculateSimilarity(capture, capture.clone()), 1.0);

    const cv::Mat black = Filled(30, 40, cv::Scalar(0, 0, 0, 255));
    const cv::Mat white = Filled(30, 40, cv::Scalar(255, 255, 255, 255));
    EXPECT_EQ(Utilities::CalculateSimilarity(black, white), 0.0);

    // Half the rows differ by the full range: the mean difference is half of 255.
    cv::Mat half = black.clone();
    half.rowRange(0, 15).setTo(cv::Scalar(255, 255, 255, 255));
    EXPECT_DOUBLE_EQ(Utilities::CalculateSimilarity(black, half), 0.5);

    const cv::Mat threeChannels = Filled(30, 40, cv::Scalar(0, 0, 0), CV_8UC3);
    EXPECT_EQ(Utilities::CalculateSimilarity(threeChannels, Filled(30, 40, cv::Scalar(255, 255, 255), CV_8UC3)), 0.0);
}

TEST(CalculateSimilarity, IgnoresAlphaButWeighsRedAndBlueDifferently)
{
    const cv::Mat opaque = RandomCapture(20, 20, 2);
    std::vector<cv::Mat> channels;
    cv::split(opaque, channels);
    channels[3].setTo(0);
    cv::Mat transparent;
    cv::merge(channels, transparent);
    EXPECT_EQ(Utilities::CalculateSimilarity(opaque, transparent), 1.0);

    const cv::Mat reddish = Filled(20, 20, cv::Scalar(200, 50, 10, 255));
    const cv::Mat bluish = Filled(20, 20, cv::Scalar(10, 50, 200, 255));
    EXPECT_LT(Utilities::CalculateSimilarity(reddish, bluish), 1.0);
    const cv::Mat symmetric = Filled(20, 20, cv::Scalar(90, 50, 90, 255));
    EXPECT_EQ(Utilities::CalculateSimilarity(symmetric, symmetric.clone()), 1.0);
}

TEST(CalculateSimilarity, RejectsUnsuitableImagesThroughOpenCv)
{
    const cv::Mat small = Filled(10, 10, cv::Scalar(1, 2, 3, 255));
    EXPECT_THROW(Utilities::CalculateSimilarity(small, Filled(10, 11, cv::Scalar(1, 2, 3, 255))), cv::Exception);
    EXPECT_THROW(Utilities::CalculateSimilarity(cv::Mat(), cv::Mat()), cv::Exception);
    EXPECT_THROW(Utilities::CalculateSimilarity(Filled(10, 10, cv::Scalar(1), CV_8UC1), small), cv::Exception);
}

TEST(GenerateRandomAlphanumericString, DrawsTheRequestedNumberOfAlphanumerics)
{
    EXPECT_TRUE(Utilities::GenerateRandomAlphanumericString(0).empty());

    const std::string name = Utilities::GenerateRandomAlphanumericString(24);
    ASSERT_EQ(name.size(), 24U);
    for (const char character : name) {
        EXPECT_TRUE(IsAlphanumeric(character)) << name;
    }
    EXPECT_NE(Utilities::GenerateRandomAlphanumericString(24), name);
}

TEST(GenerateRandomAlphanumericString, EveryCharacterIsEquallyLikely)
{
    std::map<char, int> counts;
    const int names = 5200;
    for (int draw = 0; draw < names; ++draw) {
        for (const char character : Utilities::GenerateRandomAlphanumericString(24)) {
            ++counts[character];
        }
    }

    // All 62 characters occur, nothing else does, and a chi-square test over the counts
    // (61 degrees of freedom) stays far below a bound exceeded by chance about once in a million runs.
    ASSERT_EQ(counts.size(), 62U);
    const double expected = names * 24.0 / 62.0;
    double chiSquare = 0.0;
    for (const auto& [character, count] : counts) {
        EXPECT_TRUE(IsAlphanumeric(character));
        chiSquare += (count - expected) * (count - expected) / expected;
    }
    EXPECT_LT(chiSquare, 130.0);
}
