// The smart stitcher on synthetic window captures with real translation detection: a viewport
// scrolls over a page while a title bar, toolbar, status bar and side panels stay put.

#include "RecordingListener.h"
#include "SyntheticCaptures.h"
#include "TestImages.h"

#include <ZOLT/Stitching.h>

#include <gtest/gtest.h>

#include <algorithm>

namespace ZOLT {
namespace Stitching {
namespace {

using Testing::SamePixels;

/// Every fixed part is wider than the default margin threshold of 20 pixels. The page's outer
/// columns carry bands of 8 rows, alternately white and black; the series scrolls 120 rows in all
/// (8 modulo 16), so the viewport changes up to its every edge.
Testing::CaptureSeries ScrollingWindow()
{
    Testing::WindowFrame frame;
    frame.titleBar = 10;
    frame.toolbar = 24;
    frame.statusBar = 22;
    frame.leftPanel = 30;
    frame.rightPanel = 26;
    cv::Mat page = Testing::MakePage(cv::Size(200, 420), 31);
    for (int row = 0; row < page.rows; ++row) {
        page.at<cv::Vec4b>(row, 0) = cv::Vec4b::all((row / 8) % 2 == 0 ? 255 : 0);
        page.at<cv::Vec4b>(row, 0)[3] = 255;
        page.at<cv::Vec4b>(row, page.cols - 1) = page.at<cv::Vec4b>(row, 0);
    }
    return Testing::CutSeries(page, cv::Size(200, 150), Testing::VerticalOffsets(4, 40), frame);
}

TEST(SmartStitcherEndToEnd, FixedFrameSurroundsTheWholeScrolledPage)
{
    const Testing::CaptureSeries series = ScrollingWindow();
    const std::vector<cv::Mat> originals = Testing::DeepCopies(series.captures);
    const cv::Mat& first = originals.front();
    const cv::Mat page = series.CoveredPage();
    BasicImageProvider provider = Testing::ProviderOf(series.captures);
    SmartStitcher stitcher(std::make_shared<PhaseCorrelationTranslationDetector>(StitcherParameters()),
                           StitcherParameters(), 1);
    Testing::RecordingListener listener;
    cv::Mat result;
    ASSERT_TRUE(stitcher.Stitch(provider, result, &listener, 0, 100, true));
    EXPECT_EQ(stitcher.GetTranslations(), series.Translations());
    EXPECT_TRUE(listener.Errors().empty());
    EXPECT_EQ(listener.Completions(), std::vector<bool>{true});
    const std::vector<int> progress = listener.Progress();
    EXPECT_EQ(progress.front(), 20);
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));

    // The scrolled page, whole, inside the frame taken from the first capture. Below the first
    // capture the side columns are the framing's sampled colours, checked with the framing.
    const int top = series.frame.Top();
    const int left = series.frame.Left();
    ASSERT_EQ(result.size(), cv::Size(first.cols, top + page.rows + series.frame.Bottom()));
    cv::Mat expected = result.clone();
    first.copyTo(expected.rowRange(0, first.rows));
    const cv::Rect bottom(left, first.rows - series.frame.Bottom(), page.cols, series.frame.Bottom());
    first(bottom).copyTo(expected(bottom + cv::Point(0, top + page.rows - bottom.y)));
    page.copyTo(expected(cv::Rect(cv::Point(left, top), page.size())));
    EXPECT_TRUE(SamePixels(result, expected));
    // A second stitch agrees, and the captures were left alone.
    cv::Mat again;
    ASSERT_TRUE(stitcher.Stitch(provider, again, nullptr, 0, 100, true));
    EXPECT_TRUE(SamePixels(again, result));
    for (std::size_t i = 0; i < originals.size(); ++i) {
        EXPECT_TRUE(SamePixels(*provider.GetImageAt(i), originals[i])) << "capture " << i;
    }
}

}  // namespace
}  // namespace Stitching
}  // namespace ZOLT
