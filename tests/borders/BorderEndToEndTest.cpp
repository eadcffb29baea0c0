// Border detection around the basic stitcher with real detection, on a framed window series.

#include "BorderAccess.h"
#include "RecordingListener.h"
#include "SyntheticCaptures.h"

#include <ZOLT/Stitching.h>

#include <gtest/gtest.h>

namespace ZOLT {
namespace Testing {
namespace {

TEST(BorderEndToEnd, FramedSeriesComesBackFramedAroundTheFullPage)
{
    // No scrollbar: its moving thumb is not a border common to all captures.
    WindowFrame frame;
    frame.titleBar = 12;
    frame.toolbar = 14;
    frame.statusBar = 10;
    frame.leftPanel = 24;
    frame.rightPanel = 18;
    const CaptureSeries series =
        CutSeries(MakePage(cv::Size(220, 600), 5), cv::Size(160, 120), VerticalOffsets(5, 40, cv::Point(30, 60)), frame);
    const cv::Mat first = series.captures[0];
    BasicImageProvider provider = ProviderOf(DeepCopies(series.captures));
    const Stitching::StitcherParameters parameters;
    // A grey change of more than 20 levels stands well above the page's noise; a content pixel
    // needs more than 3 changed neighbours, so isolated specks never count.
    Stitching::BasicBorderDetection detection(
        std::make_shared<Stitching::BasicStitcher>(
            std::make_shared<Stitching::PhaseCorrelationTranslationDetector>(parameters), parameters),
        20, 3);
    RecordingListener listener;
    cv::Mat result;
    ASSERT_TRUE(detection.Stitch(provider, result, &listener, 0, 100, true));
    EXPECT_EQ(detection.GetTranslations(), series.Translations());
    EXPECT_EQ(listener.Completions(), std::vector<bool>{true});
    EXPECT_EQ(listener.Calls().back(), "complete 1");
    EXPECT_TRUE(listener.Errors().empty());

    // The window frame, with the covered page in the viewport's place; below the side panels of
    // the first capture the margins are transparent black.
    const cv::Rect viewport = series.viewportRect;
    const cv::Mat page = series.CoveredPage();
    const int bottom = first.rows - viewport.br().y;
    ASSERT_EQ(result.size(), cv::Size(first.cols, page.rows + viewport.y + bottom));
    EXPECT_EQ(provider.GetImageAt(0)->size(), viewport.size());
    cv::Mat expected = cv::Mat::zeros(result.size(), CV_8UC4);
    first.rowRange(0, viewport.br().y).copyTo(expected.rowRange(0, viewport.br().y));
    page.copyTo(expected(cv::Rect(viewport.tl(), page.size())));
    first.rowRange(first.rows - bottom, first.rows).copyTo(expected.rowRange(expected.rows - bottom, expected.rows));
    EXPECT_TRUE(SamePixels(result, expected));
}

}  // namespace
}  // namespace Testing
}  // namespace ZOLT
