#include "RealSeries.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>

using ZOLT::Stitching::IStitcher;
using ZOLT::Stitching::PreviewImage;
using ZOLT::Stitching::StitcherFactory;
using ZOLT::Stitching::StitcherParameters;
using ZOLT::Stitching::Translation;
using ZOLT::Testing::LoadRealSeries;
using ZOLT::Testing::RealSeries;

namespace {

enum class Configuration { Basic, Smart, Borders };

struct Case {
    std::string series;
    Configuration configuration;
};

void PrintTo(const Case& value, std::ostream* out)
{
    *out << value.series << " / " << static_cast<int>(value.configuration);
}

std::string Name(const ::testing::TestParamInfo<Case>& info)
{
    static const char* const names[] = {"basic", "smart", "borders"};
    return info.param.series.substr(0, info.param.series.find('-')) + "_" +
           names[static_cast<int>(info.param.configuration)];
}

std::shared_ptr<IStitcher> Make(Configuration configuration)
{
    StitcherParameters parameters;
    parameters.maxThreads = 2;
    switch (configuration) {
    case Configuration::Basic:
        return StitcherFactory::CreateBasicStitcher(parameters);
    case Configuration::Smart:
        return StitcherFactory::CreateSmartStitcher(parameters, 1);
    case Configuration::Borders:
        return StitcherFactory::CreateStitcherWithBasicBorderDetection(parameters, 10, 2);
    }
    return nullptr;
}

/// The page part of a stitched result: the result without the fixed frame around the page area.
cv::Mat PagePart(const RealSeries& series, const cv::Mat& result)
{
    const cv::Rect& content = series.contentRect;
    const int frameRows = series.captures.front().rows - content.height;
    const int frameCols = series.captures.front().cols - content.width;
    return result(cv::Rect(content.x, content.y, result.cols - frameCols, result.rows - frameRows));
}

class RealStitching : public ::testing::TestWithParam<Case> {};

}  // namespace

TEST_P(RealStitching, StitchesTheWholeScrollExactly)
{
    const RealSeries series = LoadRealSeries(GetParam().series);
    ZOLT::BasicImageProvider provider = series.Provider();
    const auto stitcher = Make(GetParam().configuration);

    const auto started = std::chrono::steady_clock::now();
    cv::Mat result;
    ASSERT_TRUE(stitcher->Stitch(provider, result, nullptr, 0, 100, true));
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::cout << "[ timing ] " << GetParam().series << ": " << seconds << " s\n";

    EXPECT_EQ(stitcher->GetTranslations(), series.truth);
    const cv::Size capture = series.captures.front().size();
    if (series.axis == 0) {
        EXPECT_EQ(result.rows, series.StitchedLength());
        EXPECT_EQ(result.cols, capture.width);
    } else {
        EXPECT_EQ(result.cols, series.StitchedLength());
        EXPECT_EQ(result.rows, capture.height);
    }
    const cv::Mat page = PagePart(series, result);
    ASSERT_EQ(page.size(), series.fullPage.size());
    if (GetParam().configuration != Configuration::Borders) {
        EXPECT_EQ(cv::norm(page, series.fullPage, cv::NORM_INF), 0.0) << "the stitched page differs from the full page";
        return;
    }
    // Border re-application leaves the side margins transparent below the first capture's side
    // borders; every other pixel is the page's.
    cv::Mat alpha;
    cv::extractChannel(page, alpha, 3);
    const cv::Mat opaque = alpha != 0;
    EXPECT_EQ(cv::norm(page, series.fullPage, cv::NORM_INF, opaque), 0.0) << "the stitched page differs from the full page";
    const int firstCaptureEnd = series.axis == 0 ? series.contentRect.height : series.contentRect.width;
    const cv::Mat firstCapturePart = series.axis == 0 ? opaque.rowRange(0, firstCaptureEnd) : opaque.colRange(0, firstCaptureEnd);
    EXPECT_EQ(cv::countNonZero(firstCapturePart), static_cast<int>(firstCapturePart.total()));
}

INSTANTIATE_TEST_SUITE_P(PageOnly, RealStitching,
                         ::testing::Values(Case{"zlib-howto-tail-1280x800", Configuration::Basic},
                                           Case{"zlib-howto-tail-1280x800", Configuration::Smart},
                                           Case{"zlib-howto-tail-1280x800", Configuration::Borders},
                                           Case{"libxslt-internals-horizontal-480x640", Configuration::Basic},
                                           Case{"libxslt-internals-horizontal-480x640", Configuration::Smart},
                                           Case{"libxslt-internals-horizontal-480x640", Configuration::Borders}),
                         Name);

// The browser window: the configurations that set the static frame aside stitch it exactly.
INSTANTIATE_TEST_SUITE_P(Windowed, RealStitching,
                         ::testing::Values(Case{"expat-reference-windowed-1280x900", Configuration::Smart},
                                           Case{"expat-reference-windowed-1280x900", Configuration::Borders}),
                         Name);

TEST(RealPreview, AcceptsEveryCaptureThatMovedAndRejectsTheRepeatedOne)
{
    for (const std::string& name : ZOLT::Testing::RealSeriesNames()) {
        const RealSeries series = LoadRealSeries(name);
        PreviewImage preview;
        ASSERT_EQ(preview.AddCapture(series.captures.front()), PreviewImage::Success) << name;
        for (std::size_t k = 1; k < series.captures.size(); ++k) {
            const bool moved = series.truth[k - 1] != Translation(0, 0);
            EXPECT_EQ(preview.AddCapture(series.captures[k]), moved ? PreviewImage::Success : PreviewImage::NoTranslation)
                << name << " capture " << k;
        }
    }
}
