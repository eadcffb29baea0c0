// The smart stitcher on synthetic window captures with real translation detection: a viewport
// scrolls over a page while a title bar, toolbar, status bar and side panels stay put.

#include "RecordingListener.h"
#include "SyntheticCaptures.h"

#include <ZOLT/Stitching.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

using ZOLT::BasicImageProvider;
using ZOLT::Stitching::BasicStitcher;
using ZOLT::Stitching::PhaseCorrelationTranslationDetector;
using ZOLT::Stitching::SmartStitcher;
using ZOLT::Stitching::StitcherParameters;
using ZOLT::Testing::CaptureSeries;
using ZOLT::Testing::RecordingListener;
using ZOLT::Testing::WindowFrame;

namespace {

/// Marks the page's outer columns with bands of 8 rows, alternately white and black. The series
/// scrolls 120 rows in all (8 modulo 16), so every band row of the first capture faces the other
/// colour in the last one: the viewport changes up to its every edge.
void DrawRulers(cv::Mat& page)
{
    for (int row = 0; row < page.rows; ++row) {
        const cv::Scalar colour = (row / 8) % 2 == 0 ? cv::Scalar(255, 255, 255, 255) : cv::Scalar(0, 0, 0, 255);
        page.at<cv::Vec4b>(row, 0) = cv::Vec4b(colour[0], colour[1], colour[2], colour[3]);
        page.at<cv::Vec4b>(row, page.cols - 1) = page.at<cv::Vec4b>(row, 0);
    }
}

WindowFrame FixedFrame()
{
    // Every fixed part is wider than the default margin threshold of 20 pixels.
    WindowFrame frame;
    frame.titleBar = 10;
    frame.toolbar = 24;
    frame.statusBar = 22;
    frame.leftPanel = 30;
    frame.rightPanel = 26;
    return frame;
}

CaptureSeries ScrollingWindow()
{
    cv::Mat page = ZOLT::Testing::MakePage(cv::Size(200, 420), 31);
    DrawRulers(page);
    return ZOLT::Testing::CutSeries(page, cv::Size(200, 150), ZOLT::Testing::VerticalOffsets(4, 40), FixedFrame());
}

BasicImageProvider ProviderOf(const std::vector<cv::Mat>& captures)
{
    BasicImageProvider provider;
    for (cv::Mat capture : captures) {
        provider.Add(capture);
    }
    return provider;
}

SmartStitcher MakeStitcher()
{
    const StitcherParameters parameters;
    return SmartStitcher(std::make_shared<PhaseCorrelationTranslationDetector>(parameters), parameters, 1);
}

bool Equal(const cv::Mat& a, const cv::Mat& b)
{
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

bool IsOneColour(const cv::Mat& column, const cv::Vec4b& colour)
{
    return Equal(column, cv::Mat(column.size(), column.type(), cv::Scalar(colour)));
}

class SmartStitcherEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() { series_ = std::make_unique<CaptureSeries>(ScrollingWindow()); }
    static void TearDownTestSuite() { series_.reset(); }

    static std::unique_ptr<CaptureSeries> series_;
};

std::unique_ptr<CaptureSeries> SmartStitcherEndToEnd::series_;

}  // namespace

TEST_F(SmartStitcherEndToEnd, FixedFrameSurroundsTheWholeScrolledPage)
{
    const CaptureSeries& series = *series_;
    const cv::Mat& first = series.captures.front();
    const WindowFrame& frame = series.frame;
    const cv::Mat page = series.CoveredPage();
    BasicImageProvider provider = ProviderOf(series.captures);
    SmartStitcher stitcher = MakeStitcher();
    RecordingListener listener;

    cv::Mat result;
    ASSERT_TRUE(stitcher.Stitch(provider, result, &listener, 0, 100, true));
    EXPECT_EQ(stitcher.GetTranslations(), series.Translations());
    EXPECT_TRUE(listener.Errors().empty());
    EXPECT_EQ(listener.Completions(), std::vector<bool>{true});
    const std::vector<int> progress = listener.Progress();
    ASSERT_GE(progress.size(), 4U);
    EXPECT_EQ(progress.front(), 20);
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));

    const int top = frame.Top();
    const int bottom = frame.Bottom();
    const int left = frame.Left();
    const int right = frame.Right();
    ASSERT_EQ(result.size(), cv::Size(first.cols, top + page.rows + bottom));

    // The scrolled page, whole, inside the frame taken from the first capture.
    EXPECT_TRUE(Equal(result(cv::Rect(left, top, page.cols, page.rows)), page));
    EXPECT_TRUE(Equal(result.rowRange(0, top), first.rowRange(0, top)));
    EXPECT_TRUE(Equal(result(cv::Rect(left, top + page.rows, page.cols, bottom)),
                      first(cv::Rect(left, first.rows - bottom, page.cols, bottom))));
    EXPECT_TRUE(Equal(result(cv::Rect(0, 0, left, first.rows)), first(cv::Rect(0, 0, left, first.rows))));
    EXPECT_TRUE(Equal(result(cv::Rect(first.cols - right, 0, right, first.rows)),
                      first(cv::Rect(first.cols - right, 0, right, first.rows))));

    // Below the first capture's height, each side column continues in one colour sampled from
    // the first capture's bottom rows.
    const int below = result.rows - first.rows;
    for (int i = 0; i < left; ++i) {
        const cv::Vec4b colour = first.at<cv::Vec4b>(first.rows - std::max(2, 12 - i), i);
        EXPECT_TRUE(IsOneColour(result(cv::Rect(i, first.rows, 1, below)), colour)) << "left column " << i;
    }
    for (int j = 1; j <= right; ++j) {
        const cv::Vec4b colour = first.at<cv::Vec4b>(first.rows - std::max(2, 12 - right + j), first.cols - j);
        EXPECT_TRUE(IsOneColour(result(cv::Rect(first.cols - j, first.rows, 1, below)), colour)) << "right j " << j;
    }
}

TEST_F(SmartStitcherEndToEnd, TwoStitchesInARowAgreeAndLeaveTheCapturesAlone)
{
    const std::vector<cv::Mat> originals = ZOLT::Testing::DeepCopies(series_->captures);
    const std::vector<cv::Mat> captures = ZOLT::Testing::DeepCopies(series_->captures);
    BasicImageProvider provider = ProviderOf(captures);
    SmartStitcher stitcher = MakeStitcher();

    cv::Mat firstResult;
    cv::Mat secondResult;
    ASSERT_TRUE(stitcher.Stitch(provider, firstResult, nullptr, 0, 100, true));
    ASSERT_TRUE(stitcher.Stitch(provider, secondResult, nullptr, 0, 100, true));
    EXPECT_TRUE(Equal(firstResult, secondResult));
    EXPECT_EQ(stitcher.GetTranslations(), series_->Translations());
    for (std::size_t i = 0; i < captures.size(); ++i) {
        EXPECT_TRUE(Equal(captures[i], originals[i])) << "capture " << i;
    }
}

TEST_F(SmartStitcherEndToEnd, IdenticalFirstAndLastCaptureStitchesTheWholeWindow)
{
    // Scrolling down and back up: the first and the last capture are the same, so there is no
    // region to frame and the result is the basic stitch of the whole captures.
    const CaptureSeries roundTrip = ZOLT::Testing::CutSeries(
        series_->page, cv::Size(200, 150),
        ZOLT::Testing::OffsetsFromSteps(cv::Point(0, 0), {cv::Point(0, 40), cv::Point(0, -40)}), FixedFrame());
    BasicImageProvider provider = ProviderOf(roundTrip.captures);
    SmartStitcher stitcher = MakeStitcher();
    cv::Mat result;
    ASSERT_TRUE(stitcher.Stitch(provider, result, nullptr, 0, 100, false));

    const StitcherParameters parameters;
    BasicStitcher basic(std::make_shared<PhaseCorrelationTranslationDetector>(parameters), parameters);
    cv::Mat expected;
    ASSERT_TRUE(basic.Stitch(provider, expected, nullptr, 0, 100, false));
    EXPECT_TRUE(Equal(result, expected));
    EXPECT_EQ(stitcher.GetTranslations(), basic.GetTranslations());
}
