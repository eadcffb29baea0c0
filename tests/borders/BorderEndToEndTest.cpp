#include "BorderAccess.h"
#include "RecordingListener.h"
#include "SyntheticCaptures.h"

#include <ZOLT/Borders.h>
#include <ZOLT/Detection.h>
#include <ZOLT/Providers.h>
#include <ZOLT/Stitchers.h>

#include <gtest/gtest.h>

using ZOLT::BasicImageProvider;
using namespace ZOLT::Stitching;
using namespace ZOLT::Testing;

namespace {

// A grey change of more than 20 levels stands well above the page's noise (a few levels); a
// content pixel needs more than 3 changed neighbours, so isolated specks never count. The series has no scrollbar: its
// moving thumb is not a border common to all captures.
const unsigned int kChangeThreshold = 20;
const unsigned int kNeighborThreshold = 3;

/// A window with title bar, toolbar, status bar and side panels scrolling down a page.
CaptureSeries FramedWindowSeries()
{
    WindowFrame frame;
    frame.titleBar = 12;
    frame.toolbar = 14;
    frame.statusBar = 10;
    frame.leftPanel = 24;
    frame.rightPanel = 18;
    const cv::Mat page = MakePage(cv::Size(220, 600), 5);
    return CutSeries(page, cv::Size(160, 120), VerticalOffsets(5, 40, cv::Point(30, 60)), frame);
}

}  // namespace

TEST(BorderEndToEnd, FramedSeriesComesBackFramedAroundTheFullPage)
{
    const CaptureSeries series = FramedWindowSeries();
    const cv::Mat first = series.captures[0].clone();
    BasicImageProvider provider = ProviderOf(DeepCopies(series.captures));

    const StitcherParameters parameters;
    auto stitcher = std::make_shared<BasicStitcher>(std::make_shared<PhaseCorrelationTranslationDetector>(parameters),
                                                    parameters);
    BasicBorderDetection detection(stitcher, kChangeThreshold, kNeighborThreshold);
    RecordingListener listener;
    cv::Mat result;
    ASSERT_TRUE(detection.Stitch(provider, result, &listener, 0, 100, true));
    EXPECT_EQ(detection.GetTranslations(), series.Translations());
    EXPECT_EQ(listener.Completions(), std::vector<bool>{true});
    EXPECT_EQ(listener.Calls().back(), "complete 1");
    EXPECT_TRUE(listener.Errors().empty());

    // The window frame, with the covered page in the viewport's place.
    const cv::Rect viewport = series.viewportRect;
    const cv::Mat page = series.CoveredPage();
    const int top = viewport.y;
    const int bottom = first.rows - viewport.br().y;
    const int right = first.cols - viewport.br().x;
    ASSERT_EQ(result.size(), cv::Size(first.cols, page.rows + top + bottom));
    EXPECT_EQ(provider.GetImageAt(0)->size(), viewport.size());
    EXPECT_TRUE(SamePixels(result(cv::Rect(cv::Point(viewport.x, top), page.size())), page));
    EXPECT_TRUE(SamePixels(result.rowRange(0, top), first.rowRange(0, top)));
    EXPECT_TRUE(SamePixels(result.rowRange(result.rows - bottom, result.rows),
                           first.rowRange(first.rows - bottom, first.rows)));
    const cv::Rect leftPanel(0, top, viewport.x, viewport.height);
    const cv::Rect rightPanel(viewport.br().x, top, right, viewport.height);
    EXPECT_TRUE(SamePixels(result(leftPanel), first(leftPanel)));
    EXPECT_TRUE(SamePixels(result(rightPanel), first(rightPanel)));
    // Below the side panels of the first capture the margins are transparent black.
    const int below = page.rows - viewport.height;
    EXPECT_EQ(cv::countNonZero(result(cv::Rect(0, leftPanel.br().y, viewport.x, below)).reshape(1)), 0);
    EXPECT_EQ(cv::countNonZero(result(cv::Rect(rightPanel.x, rightPanel.br().y, right, below)).reshape(1)), 0);
}
