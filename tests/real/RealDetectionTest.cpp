// Translation detection on real browser scrolling series.

#include "RealSeries.h"

#include <gtest/gtest.h>

namespace ZOLT {
namespace Testing {
namespace {

using Stitching::PhaseCorrelationTranslationDetector;
using Stitching::Translation;

Stitching::StitcherParameters Parameters(int direction)
{
    Stitching::StitcherParameters parameters;
    parameters.direction = direction;
    parameters.maxThreads = 2;
    return parameters;
}

class RealDetection : public ::testing::TestWithParam<std::string> {};

TEST_P(RealDetection, PageAreaGivesTheTrueTranslationsOnBothAxesAndItsOwn)
{
    const RealSeries series = LoadRealSeries(GetParam());
    BasicImageProvider pages;
    for (const cv::Mat& capture : series.captures) {
        cv::Mat page = capture(series.contentRect).clone();
        pages.Add(page);
    }
    for (const int direction : {2, series.axis}) {
        PhaseCorrelationTranslationDetector detector(Parameters(direction));
        EXPECT_EQ(detector.DetectTranslation(pages, nullptr, 0, 100), series.truth) << "direction " << direction;
    }
}

INSTANTIATE_TEST_SUITE_P(Series, RealDetection, ::testing::ValuesIn(RealSeriesNames()),
                         [](const auto& info) { return info.param.substr(0, info.param.find('-')); });

// In the whole browser window the static tab strip and toolbar (87 rows) correlate perfectly at
// (0, 0). Where a step leaves little overlap of the page area (520 of 813 rows moved), that
// static peak outgrows the true one, which stays the runner-up: the plain detector reports
// (0, 0) there. Cropping the static parts first (the bordered and smart configurations) avoids it.
TEST(RealDetectionWindowed, StaticBrowserFrameOutweighsTheLargestStep)
{
    const RealSeries series = LoadRealSeries("expat-reference-windowed-1280x900");
    const std::size_t largestStep = 4;
    ASSERT_EQ(series.truth.at(largestStep), Translation(-520, 0));
    BasicImageProvider provider = series.Provider();
    std::vector<Translation> detected =
        PhaseCorrelationTranslationDetector(Parameters(2)).DetectTranslation(provider, nullptr, 0, 100);
    ASSERT_EQ(detected.size(), series.truth.size());
    EXPECT_EQ(detected[largestStep], Translation(0, 0));
    detected[largestStep] = series.truth[largestStep];
    EXPECT_EQ(detected, series.truth);

    struct Inspecting : PhaseCorrelationTranslationDetector {
        using PhaseCorrelationTranslationDetector::DetectTranslationWithAlternative;
        using PhaseCorrelationTranslationDetector::PhaseCorrelationTranslationDetector;
    } detector(Parameters(2));
    Translation runnerUp;
    EXPECT_EQ(detector.DetectTranslationWithAlternative(series.captures[largestStep], series.captures[largestStep + 1],
                                                        runnerUp, nullptr),
              Translation(0, 0));
    EXPECT_EQ(runnerUp, series.truth[largestStep]);
}

}  // namespace
}  // namespace Testing
}  // namespace ZOLT
