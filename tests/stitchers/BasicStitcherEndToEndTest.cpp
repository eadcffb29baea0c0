// Whole stitches with the phase-correlation detector on synthetic scrolling series.

#include "RecordingListener.h"
#include "SyntheticCaptures.h"

#include <ZOLT/Detection.h>
#include <ZOLT/Stitchers.h>

#include <gtest/gtest.h>

namespace ZOLT {
namespace Stitching {
namespace {

using Testing::CaptureSeries;
using Testing::RecordingListener;

const cv::Size kViewport(320, 240);

bool SamePixels(const cv::Mat& first, const cv::Mat& second)
{
    return first.size() == second.size() && first.type() == second.type() &&
           cv::countNonZero(cv::Mat(first != second).reshape(1)) == 0;
}

/// Stitches the series with a fresh basic stitcher on the phase-correlation detector and
/// checks the result, the translations and that the provider's captures are untouched.
void ExpectStitchedToCoveredPage(const CaptureSeries& series, const StitcherParameters& parameters)
{
    const std::vector<cv::Mat> originals = Testing::DeepCopies(series.captures);
    BasicImageProvider provider;
    for (cv::Mat capture : series.captures) {
        provider.Add(capture);
    }
    BasicStitcher stitcher(std::make_shared<PhaseCorrelationTranslationDetector>(parameters), parameters);
    RecordingListener listener;
    cv::Mat result;

    ASSERT_TRUE(stitcher.Stitch(provider, result, &listener, 0, 100, true));
    EXPECT_EQ(stitcher.GetTranslations(), series.Translations());
    EXPECT_TRUE(SamePixels(result, series.CoveredPage()));
    EXPECT_TRUE(listener.Errors().empty());
    EXPECT_EQ(listener.Completions(), std::vector<bool>{true});
    for (std::size_t i = 0; i < originals.size(); ++i) {
        EXPECT_TRUE(SamePixels(*provider.GetImageAt(i), originals[i])) << "capture " << i;
    }
}

TEST(BasicStitcherEndToEnd, SeriesScrolledDownGivesItsPagePart)
{
    const cv::Mat page = Testing::MakePage(cv::Size(kViewport.width, 1400), 21);
    const std::vector<cv::Point> steps{{0, 90},  {0, 120}, {0, 60}, {0, 150}, {0, 100}, {0, 75},
                                       {0, 130}, {0, 95},  {0, 80}, {0, 110}, {0, 70}};
    const CaptureSeries series = Testing::CutSeries(page, kViewport, Testing::OffsetsFromSteps({0, 20}, steps));
    ASSERT_EQ(series.captures.size(), 12u);
    ExpectStitchedToCoveredPage(series, StitcherParameters());
}

TEST(BasicStitcherEndToEnd, SeriesScrolledUpGivesItsPagePart)
{
    const cv::Mat page = Testing::MakePage(cv::Size(kViewport.width, 1400), 22);
    const CaptureSeries series =
        Testing::CutSeries(page, kViewport, Testing::VerticalOffsets(12, -95, cv::Point(0, 1400 - 240 - 30)));
    StitcherParameters parameters;
    parameters.maxThreads = 2;
    ExpectStitchedToCoveredPage(series, parameters);
}

TEST(BasicStitcherEndToEnd, SeriesScrolledSidewaysGivesItsPagePart)
{
    const cv::Mat page = Testing::MakePage(cv::Size(1600, kViewport.height + 40), 23);
    const CaptureSeries series =
        Testing::CutSeries(page, kViewport, Testing::HorizontalOffsets(12, 105, cv::Point(15, 20)));
    StitcherParameters parameters;
    parameters.direction = 1;
    ExpectStitchedToCoveredPage(series, parameters);
}

TEST(BasicStitcherEndToEnd, CancelledDetectionReportsOneError)
{
    const cv::Mat page = Testing::MakePage(cv::Size(kViewport.width, 600), 24);
    const CaptureSeries series = Testing::CutSeries(page, kViewport, Testing::VerticalOffsets(4, 100));
    BasicImageProvider provider;
    for (cv::Mat capture : series.captures) {
        provider.Add(capture);
    }
    BasicStitcher stitcher(std::make_shared<PhaseCorrelationTranslationDetector>(StitcherParameters()),
                           StitcherParameters());
    RecordingListener listener;
    listener.progressAnswer = [](int, std::size_t) { return false; };
    cv::Mat result;

    testing::internal::CaptureStderr();
    EXPECT_FALSE(stitcher.Stitch(provider, result, &listener, 0, 100, true));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Failed to detect translations.\n");
    EXPECT_EQ(listener.Errors(), std::vector<IStitcherListener::StitcherErrorCodes>{IStitcherListener::Cancelled});
    EXPECT_EQ(listener.Calls().back(), "complete 0");
    EXPECT_EQ(listener.Completions().size(), 1u);
    EXPECT_TRUE(result.empty());
}

}  // namespace
}  // namespace Stitching
}  // namespace ZOLT
