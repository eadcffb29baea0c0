#include "RecordingListener.h"
#include "SyntheticCaptures.h"
#include "DetectorAccess.h"

#include <ZOLT/Stitching.h>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

using ZOLT::Stitching::IStitcherListener;
using ZOLT::Stitching::PhaseCorrelationTranslationDetector;
using ZOLT::Stitching::StitcherParameters;
using ZOLT::Stitching::Translation;
using ZOLT::Testing::MakePage;
using ZOLT::Testing::RecordingListener;
using TestAccess = ZOLT::Stitching::TestAccess<PhaseCorrelationTranslationDetector>;

namespace {

StitcherParameters WithDirection(int direction)
{
    StitcherParameters parameters;
    parameters.direction = direction;
    return parameters;
}

class PairCorrelation : public ::testing::Test {
protected:
    static void SetUpTestSuite() { page_ = MakePage(cv::Size(900, 1400), 42); }
    static void TearDownTestSuite() { page_.release(); }

    /// Two 320 x 240 windows, the second moved by (dx, dy) on the page from (300, 500).
    static std::pair<cv::Mat, cv::Mat> Pair(int dx, int dy)
    {
        const cv::Size window(320, 240);
        const cv::Point origin(300, 500);
        return {page_(cv::Rect(origin, window)).clone(), page_(cv::Rect(origin + cv::Point(dx, dy), window)).clone()};
    }

    static Translation Detect(int dx, int dy, int direction = 2)
    {
        PhaseCorrelationTranslationDetector detector(WithDirection(direction));
        const auto captures = Pair(dx, dy);
        return detector.DetectTranslation(captures.first, captures.second, nullptr);
    }

    static cv::Mat page_;
};

cv::Mat PairCorrelation::page_;

}  // namespace

TEST_F(PairCorrelation, MeasuresKnownShiftsExactly)
{
    // A window scrolled down by 5 rows shows its content 5 rows higher: (-5, 0).
    EXPECT_EQ(Detect(0, 5), Translation(-5, 0));
    EXPECT_EQ(Detect(0, -4), Translation(4, 0));
    EXPECT_EQ(Detect(3, 0), Translation(0, -3));
    EXPECT_EQ(Detect(-7, 11), Translation(-11, 7));
    EXPECT_EQ(Detect(0, 0), Translation(0, 0));
}

TEST_F(PairCorrelation, MeasuresShiftsUpToAboutHalfTheCapture)
{
    EXPECT_EQ(Detect(0, 118), Translation(-118, 0));
    EXPECT_EQ(Detect(0, -115), Translation(115, 0));
    EXPECT_EQ(Detect(155, 0), Translation(0, -155));
    EXPECT_EQ(Detect(-150, 0), Translation(0, 150));
}

TEST_F(PairCorrelation, DirectionRestrictsTheSearchedAxes)
{
    EXPECT_EQ(Detect(0, 9, 0), Translation(-9, 0));
    EXPECT_EQ(Detect(6, 9, 0).GetCols(), 0);
    EXPECT_EQ(Detect(13, 0, 1), Translation(0, -13));
    EXPECT_EQ(Detect(13, 8, 1).GetRows(), 0);
    EXPECT_EQ(Detect(13, 8, 3), Translation(0, 0));
    EXPECT_EQ(Detect(13, 8, -1), Translation(0, 0));
}

TEST_F(PairCorrelation, PadsOnlyTheSearchedAxesToTwiceTheirLength)
{
    const cv::Mat grey(240, 320, CV_8UC1, cv::Scalar(7));
    const auto paddedSize = [&grey](int direction) {
        const PhaseCorrelationTranslationDetector detector(WithDirection(direction));
        cv::Mat spectrum;
        cv::Size size;
        EXPECT_TRUE(TestAccess::PerformDFT(detector, grey, spectrum, size));
        EXPECT_EQ(spectrum.size(), size);
        EXPECT_EQ(spectrum.type(), CV_32FC2);
        return size;
    };
    EXPECT_EQ(paddedSize(0), cv::Size(cv::getOptimalDFTSize(320), cv::getOptimalDFTSize(480)));
    EXPECT_EQ(paddedSize(1), cv::Size(cv::getOptimalDFTSize(640), cv::getOptimalDFTSize(240)));
    EXPECT_EQ(paddedSize(2), cv::Size(cv::getOptimalDFTSize(640), cv::getOptimalDFTSize(480)));
    EXPECT_EQ(paddedSize(3), cv::Size(cv::getOptimalDFTSize(320), cv::getOptimalDFTSize(240)));
}

TEST(PeakConversion, FollowsTheWorkedValues)
{
    const PhaseCorrelationTranslationDetector detector(WithDirection(2));
    const cv::Size size(3000, 2000);
    EXPECT_EQ(TestAccess::ConvertPeak(detector, 0, 0, size), Translation(0, 0));
    EXPECT_EQ(TestAccess::ConvertPeak(detector, 7, 0, size), Translation(-7, 0));
    EXPECT_EQ(TestAccess::ConvertPeak(detector, 999, 0, size), Translation(-999, 0));
    EXPECT_EQ(TestAccess::ConvertPeak(detector, 1000, 0, size), Translation(1000, 0));
    EXPECT_EQ(TestAccess::ConvertPeak(detector, 1993, 0, size), Translation(7, 0));
    EXPECT_EQ(TestAccess::ConvertPeak(detector, 562, 1499, cv::Size(3000, 1125)), Translation(563, -1499));
    EXPECT_EQ(TestAccess::ConvertPeak(detector, 0, 1500, size), Translation(0, 1500));

    const PhaseCorrelationTranslationDetector rowsOnly(WithDirection(0));
    EXPECT_EQ(TestAccess::ConvertPeak(rowsOnly, 1993, 5, size), Translation(7, 0));
    const PhaseCorrelationTranslationDetector colsOnly(WithDirection(1));
    EXPECT_EQ(TestAccess::ConvertPeak(colsOnly, 1993, 2995, size), Translation(0, 5));
    const PhaseCorrelationTranslationDetector neither(WithDirection(7));
    EXPECT_EQ(TestAccess::ConvertPeak(neither, 1993, 2995, size), Translation(0, 0));
}

TEST_F(PairCorrelation, WarnsAboutAWeakPeakOnlyWithAListener)
{
    StitcherParameters demanding;
    demanding.minimumPeakValue = 1e30;
    PhaseCorrelationTranslationDetector detector(demanding);
    const auto captures = Pair(0, 21);

    RecordingListener listener;
    EXPECT_EQ(detector.DetectTranslation(captures.first, captures.second, &listener), Translation(-21, 0));
    EXPECT_EQ(listener.Warnings(), std::vector<IStitcherListener::StitcherWarningCodes>{IStitcherListener::WeakCorrelation});
    EXPECT_EQ(detector.DetectTranslation(captures.first, captures.second, nullptr), Translation(-21, 0));

    // A real page correlates far above the default minimum: no warning.
    PhaseCorrelationTranslationDetector standard{StitcherParameters()};
    RecordingListener quiet;
    EXPECT_EQ(standard.DetectTranslation(captures.first, captures.second, &quiet), Translation(-21, 0));
    EXPECT_TRUE(quiet.Calls().empty());
}

TEST_F(PairCorrelation, ThreeChannelCapturesCorrelateLikeFourChannelOnes)
{
    const auto captures = Pair(4, 17);
    cv::Mat first;
    cv::Mat second;
    cv::cvtColor(captures.first, first, cv::COLOR_BGRA2BGR);
    cv::cvtColor(captures.second, second, cv::COLOR_BGRA2BGR);
    PhaseCorrelationTranslationDetector detector{StitcherParameters()};
    EXPECT_EQ(detector.DetectTranslation(first, second, nullptr), Translation(-17, -4));
}

TEST_F(PairCorrelation, UnsuitableInputRaisesTheOpenCvException)
{
    PhaseCorrelationTranslationDetector detector{StitcherParameters()};
    const auto captures = Pair(0, 3);
    const cv::Mat smaller = captures.second(cv::Rect(0, 0, 300, 240)).clone();
    EXPECT_THROW(detector.DetectTranslation(captures.first, smaller, nullptr), cv::Exception);

    const cv::Mat grey(240, 320, CV_8UC1, cv::Scalar(9));
    const cv::Mat twoChannels(240, 320, CV_8UC2, cv::Scalar(9, 9));
    EXPECT_THROW(detector.DetectTranslation(grey, grey, nullptr), cv::Exception);
    EXPECT_THROW(detector.DetectTranslation(twoChannels, twoChannels, nullptr), cv::Exception);
    EXPECT_THROW(detector.DetectTranslation(cv::Mat(), cv::Mat(), nullptr), cv::Exception);
}
