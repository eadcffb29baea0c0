// Every stitcher configuration on real browser scrolling series (tests/data/captures), checked
// pixel for pixel against the full page and against the recorded translations; the page stitcher
// also on the series with sticky and fixed elements (tests/data/rig); and the preview.

#include "RealSeries.h"

#include <gtest/gtest.h>

namespace ZOLT {
namespace Stitching {
namespace {

const std::string kSeries[] = {"captures/zlib-howto-tail-1280x800", "captures/libxslt-internals-horizontal-480x640",
                               "captures/expat-reference-windowed-1280x900"};
const std::string kStickySeries[] = {"rig/handbook-sticky-800x600", "rig/timeline-sticky-horizontal-640x480",
                                     "rig/handbook-sticky-windowed-1024x768"};

enum Configuration { Basic, Smart, Borders };

class RealStitching : public ::testing::TestWithParam<std::tuple<std::string, Configuration>> {};

std::string Name(const ::testing::TestParamInfo<RealStitching::ParamType>& info)
{
    static const char* const configurations[] = {"basic", "smart", "borders"};
    std::string series = std::get<0>(info.param);
    series = series.substr(series.find('/') + 1);
    return series.substr(0, series.find('-')) + "_" + configurations[std::get<1>(info.param)];
}

TEST_P(RealStitching, StitchesTheWholeScrollExactly)
{
    const auto [name, configuration] = GetParam();
    const RealSeries series = LoadRealSeries(name);
    BasicImageProvider provider = series.Provider();
    StitcherParameters parameters;
    parameters.maxThreads = 2;
    const std::shared_ptr<IStitcher> stitchers[] = {
        StitcherFactory::CreateBasicStitcher(parameters), StitcherFactory::CreateSmartStitcher(parameters, 1),
        StitcherFactory::CreateStitcherWithBasicBorderDetection(parameters, 10, 2)};
    cv::Mat result;
    ASSERT_TRUE(stitchers[configuration]->Stitch(provider, result, nullptr, 0, 100, true));
    EXPECT_EQ(stitchers[configuration]->GetTranslations(), series.truth);
    // Without the fixed frame around the page area the result is the full page.
    const cv::Size frame = series.captures[0].size() - series.pageArea.size();
    ASSERT_EQ(result.size() - frame, series.fullPage.size());
    const cv::Mat page = result(cv::Rect(series.pageArea.tl(), series.fullPage.size()));
    // Putting borders back leaves the side margins transparent below the first capture's; every
    // other pixel is the page's.
    cv::Mat alpha;
    cv::extractChannel(page, alpha, 3);
    const cv::Mat compared = configuration == Borders ? cv::Mat(alpha != 0) : cv::Mat(page.size(), CV_8U, 255);
    EXPECT_EQ(cv::norm(page, series.fullPage, cv::NORM_INF, compared), 0.0);
    EXPECT_EQ(cv::countNonZero(compared(cv::Rect(cv::Point(), series.pageArea.size()))), series.pageArea.area());
}

// The plain basic stitcher is left out on the windowed series: its static browser frame
// outweighs the page in the correlation of the largest step.
INSTANTIATE_TEST_SUITE_P(PageOnly, RealStitching,
                         ::testing::Combine(::testing::Values(kSeries[0], kSeries[1]),
                                            ::testing::Values(Basic, Smart, Borders)),
                         Name);
INSTANTIATE_TEST_SUITE_P(Windowed, RealStitching,
                         ::testing::Combine(::testing::Values(kSeries[2]), ::testing::Values(Smart, Borders)), Name);

class PageStitching : public ::testing::TestWithParam<std::string> {};

// Every step exact; sticky sidebars, fixed bars and a floating button each once, where the page's
// own full render puts them, the page under them taken from where it showed; no transparency.
TEST_P(PageStitching, LooksLikeThePageItself)
{
    const RealSeries series = LoadRealSeries(GetParam());
    BasicImageProvider provider = series.Provider();
    StitcherParameters parameters;
    parameters.maxThreads = 2;
    PageStitcher stitcher(parameters);
    cv::Mat result;
    ASSERT_TRUE(stitcher.Stitch(provider, result, nullptr, 0, 100, true));
    EXPECT_EQ(stitcher.GetTranslations(), series.truth);
    const cv::Size frame = series.captures[0].size() - series.pageArea.size();
    ASSERT_EQ(result.size() - frame, series.fullPage.size());
    const cv::Mat page = result(cv::Rect(series.pageArea.tl(), series.fullPage.size()));
    cv::Mat opaque;
    cv::cvtColor(series.fullPage, opaque, cv::COLOR_BGR2BGRA);
    EXPECT_GE(IdenticalShare(page, series.fullPage.channels() == 4 ? series.fullPage : opaque), 0.99);
    cv::Mat alpha;
    cv::extractChannel(result, alpha, 3);
    EXPECT_EQ(cv::countNonZero(alpha != 255), 0);
}

// JPEG at quality 80 blurs every edge a little; the steps must still come out exact.
TEST_P(PageStitching, MeasuresJpegCapturesExactly)
{
    const RealSeries series = LoadRealSeries(GetParam());
    BasicImageProvider provider = JpegProvider(series, 80);
    PageStitcher stitcher(StitcherParameters{});
    cv::Mat result;
    ASSERT_TRUE(stitcher.Stitch(provider, result, nullptr, 0, 100, true));
    EXPECT_EQ(stitcher.GetTranslations(), series.truth);
}

INSTANTIATE_TEST_SUITE_P(Public, PageStitching, ::testing::ValuesIn(kSeries));
INSTANTIATE_TEST_SUITE_P(Sticky, PageStitching, ::testing::ValuesIn(kStickySeries));

TEST(RealPreview, AcceptsEveryCaptureThatMovedAndRejectsTheRepeatedOne)
{
    for (const std::string& name : kSeries) {
        const RealSeries series = LoadRealSeries(name);
        PreviewImage preview;
        ASSERT_EQ(preview.AddCapture(series.captures[0]), PreviewImage::Success) << name;
        for (std::size_t k = 1; k < series.captures.size(); ++k) {
            const bool moved = series.truth[k - 1] != Translation(0, 0);
            EXPECT_EQ(preview.AddCapture(series.captures[k]), moved ? PreviewImage::Success : PreviewImage::NoTranslation)
                << name << " capture " << k;
        }
    }
}

}  // namespace
}  // namespace Stitching
}  // namespace ZOLT
