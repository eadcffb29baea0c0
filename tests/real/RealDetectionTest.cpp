#include "RealSeries.h"

#include <gtest/gtest.h>

using ZOLT::Stitching::PhaseCorrelationTranslationDetector;
using ZOLT::Stitching::StitcherParameters;
using ZOLT::Stitching::Translation;
using ZOLT::Testing::LoadRealSeries;
using ZOLT::Testing::RealSeries;

namespace {

using Translations = std::vector<Translation>;

/// Exposes the alternative-peak pair operation, to show what the correlation surface holds.
class InspectingDetector : public PhaseCorrelationTranslationDetector {
public:
    using PhaseCorrelationTranslationDetector::PhaseCorrelationTranslationDetector;
    using PhaseCorrelationTranslationDetector::DetectTranslationWithAlternative;
};

StitcherParameters Parameters(int direction)
{
    StitcherParameters parameters;
    parameters.direction = direction;
    parameters.maxThreads = 2;
    return parameters;
}

Translations Detect(const RealSeries& series, int direction)
{
    ZOLT::BasicImageProvider provider = series.Provider();
    PhaseCorrelationTranslationDetector detector(Parameters(direction));
    return detector.DetectTranslation(provider, nullptr, 0, 100);
}

std::string ShortName(const ::testing::TestParamInfo<std::string>& info)
{
    return info.param.substr(0, info.param.find('-'));
}

class RealDetection : public ::testing::TestWithParam<std::string> {};
class RealPageOnlyDetection : public ::testing::TestWithParam<std::string> {};

}  // namespace

TEST_P(RealDetection, PageAreaGivesTheTrueTranslationsOnBothAxesAndItsOwn)
{
    const RealSeries series = LoadRealSeries(GetParam());
    ZOLT::BasicImageProvider pages;
    for (const cv::Mat& capture : series.captures) {
        cv::Mat page = capture(series.contentRect).clone();
        pages.Add(page);
    }
    for (const int direction : {2, series.axis}) {
        PhaseCorrelationTranslationDetector detector(Parameters(direction));
        EXPECT_EQ(detector.DetectTranslation(pages, nullptr, 0, 100), series.truth) << "direction " << direction;
    }
}

TEST_P(RealPageOnlyDetection, WholeCapturesGiveTheTrueTranslations)
{
    const RealSeries series = LoadRealSeries(GetParam());
    EXPECT_EQ(Detect(series, 2), series.truth);
    EXPECT_EQ(Detect(series, series.axis), series.truth);
}

INSTANTIATE_TEST_SUITE_P(Series, RealDetection, ::testing::ValuesIn(ZOLT::Testing::RealSeriesNames()), ShortName);
INSTANTIATE_TEST_SUITE_P(Series, RealPageOnlyDetection,
                         ::testing::Values("zlib-howto-tail-1280x800", "libxslt-internals-horizontal-480x640"),
                         ShortName);

// In the whole browser window the static tab strip and toolbar (87 rows) correlate perfectly at
// (0, 0). Where a step leaves little overlap of the page area (520 of 813 rows moved), that
// static peak outgrows the true one, which stays the runner-up: the plain detector reports
// (0, 0) there. Cropping the static parts first (the bordered and smart configurations) avoids it.
TEST(RealDetectionWindowed, StaticBrowserFrameOutweighsTheLargestStep)
{
    const RealSeries series = LoadRealSeries("expat-reference-windowed-1280x900");
    const std::size_t largestStep = 4;
    ASSERT_EQ(series.truth.at(largestStep), Translation(-520, 0));

    const Translations detected = Detect(series, 2);
    ASSERT_EQ(detected.size(), series.truth.size());
    for (std::size_t pair = 0; pair < detected.size(); ++pair) {
        if (pair != largestStep) {
            EXPECT_EQ(detected[pair], series.truth[pair]) << "pair " << pair;
        }
    }

    InspectingDetector detector(Parameters(2));
    Translation runnerUp;
    const Translation primary = detector.DetectTranslationWithAlternative(
        series.captures[largestStep], series.captures[largestStep + 1], runnerUp, nullptr);
    EXPECT_EQ(primary, Translation(0, 0));
    EXPECT_EQ(runnerUp, series.truth[largestStep]);
}
