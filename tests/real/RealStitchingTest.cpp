// Every stitcher configuration on real browser scrolling series, pixel-exact against the full page.

#include "RealSeries.h"

#include <gtest/gtest.h>

namespace ZOLT {
namespace Testing {
namespace {

using Stitching::StitcherFactory;

enum Configuration { Basic, Smart, Borders };
struct Case {
    std::string series;
    Configuration configuration;
};

std::string Name(const ::testing::TestParamInfo<Case>& info)
{
    static const char* const names[] = {"basic", "smart", "borders"};
    return info.param.series.substr(0, info.param.series.find('-')) + "_" + names[info.param.configuration];
}

class RealStitching : public ::testing::TestWithParam<Case> {};

TEST_P(RealStitching, StitchesTheWholeScrollExactly)
{
    const RealSeries series = LoadRealSeries(GetParam().series);
    BasicImageProvider provider = series.Provider();
    Stitching::StitcherParameters parameters;
    parameters.maxThreads = 2;
    const std::shared_ptr<Stitching::IStitcher> makers[] = {
        StitcherFactory::CreateBasicStitcher(parameters), StitcherFactory::CreateSmartStitcher(parameters, 1),
        StitcherFactory::CreateStitcherWithBasicBorderDetection(parameters, 10, 2)};
    const auto& stitcher = makers[GetParam().configuration];
    cv::Mat result;
    ASSERT_TRUE(stitcher->Stitch(provider, result, nullptr, 0, 100, true));
    EXPECT_EQ(stitcher->GetTranslations(), series.truth);
    ASSERT_EQ(result.size(), series.StitchedSize());

    // The page part of the result (without the fixed frame around the page area) is the full page.
    const cv::Size frame = series.captures.front().size() - series.contentRect.size();
    const cv::Mat page = result(cv::Rect(series.contentRect.tl(), result.size() - frame));
    ASSERT_EQ(page.size(), series.fullPage.size());
    if (GetParam().configuration != Borders) {
        EXPECT_EQ(cv::norm(page, series.fullPage, cv::NORM_INF), 0.0);
        return;
    }
    // Border re-application leaves the side margins transparent below the first capture's side
    // borders; every other pixel is the page's.
    cv::Mat alpha;
    cv::extractChannel(page, alpha, 3);
    const cv::Mat opaque = alpha != 0;
    EXPECT_EQ(cv::norm(page, series.fullPage, cv::NORM_INF, opaque), 0.0);
    const cv::Mat firstCapture = opaque(cv::Rect(cv::Point(0, 0), series.contentRect.size()));
    EXPECT_EQ(cv::countNonZero(firstCapture), static_cast<int>(firstCapture.total()));
}

INSTANTIATE_TEST_SUITE_P(PageOnly, RealStitching,
                         ::testing::Values(Case{"zlib-howto-tail-1280x800", Basic}, Case{"zlib-howto-tail-1280x800", Smart},
                                           Case{"zlib-howto-tail-1280x800", Borders},
                                           Case{"libxslt-internals-horizontal-480x640", Basic},
                                           Case{"libxslt-internals-horizontal-480x640", Smart},
                                           Case{"libxslt-internals-horizontal-480x640", Borders}),
                         Name);
// The browser window: the configurations that set the static frame aside stitch it exactly.
INSTANTIATE_TEST_SUITE_P(Windowed, RealStitching,
                         ::testing::Values(Case{"expat-reference-windowed-1280x900", Smart},
                                           Case{"expat-reference-windowed-1280x900", Borders}),
                         Name);

TEST(RealPreview, AcceptsEveryCaptureThatMovedAndRejectsTheRepeatedOne)
{
    for (const std::string& name : RealSeriesNames()) {
        const RealSeries series = LoadRealSeries(name);
        Stitching::PreviewImage preview;
        ASSERT_EQ(preview.AddCapture(series.captures.front()), Stitching::PreviewImage::Success) << name;
        for (std::size_t k = 1; k < series.captures.size(); ++k) {
            EXPECT_EQ(preview.AddCapture(series.captures[k]), series.truth[k - 1] != Stitching::Translation(0, 0)
                                                                  ? Stitching::PreviewImage::Success
                                                                  : Stitching::PreviewImage::NoTranslation)
                << name << " capture " << k;
        }
    }
}

}  // namespace
}  // namespace Testing
}  // namespace ZOLT
