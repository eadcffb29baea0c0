// The page stitcher on synthetic window series with a fixed element over a flat page: the frame
// and the element once, in their places, every pixel opaque; and its refusals and cancelling.

#include "RecordingListener.h"
#include "SyntheticCaptures.h"
#include "TempFolder.h"

#include <ZOLT/Stitching.h>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace ZOLT {
namespace Stitching {
namespace {

const cv::Size kViewport(480, 360);
const cv::Rect kButton(420, 300, 40, 40);  // a floating button near the viewport's far corner

struct FramedSeries {
    Testing::CaptureSeries cut;
    /// The page as its own full render shows it: the button once, at the page's far end.
    cv::Mat page;
};

/// A flat page scrolled through a framed window, with a button that stays put in the viewport.
FramedSeries MakeSeries(bool vertical)
{
    Testing::WindowFrame frame;
    frame.toolbar = 40;
    frame.statusBar = 20;
    frame.scrollbar = 12;
    const int steps = 7;
    const int step = 150;
    const cv::Size pageSize = vertical ? cv::Size(kViewport.width, kViewport.height + steps * step)
                                       : cv::Size(kViewport.width + steps * step, kViewport.height);
    const cv::Mat page = Testing::MakePage(pageSize, 3, false);
    const auto offsets = vertical ? Testing::VerticalOffsets(steps + 1, step) : Testing::HorizontalOffsets(steps + 1, step);
    FramedSeries series{Testing::CutSeries(page, kViewport, offsets, frame), page.clone()};
    for (cv::Mat& capture : series.cut.captures) {
        cv::Mat button = capture(kButton + series.cut.viewportRect.tl());
        button.setTo(cv::Scalar(200, 40, 40, 255));
        cv::line(button, {8, 20}, {32, 20}, cv::Scalar(255, 255, 255, 255), 3);
    }
    series.cut.captures.back()(kButton + series.cut.viewportRect.tl()).copyTo(series.page(kButton + offsets.back()));
    return series;
}

cv::Mat Stitch(IImageProvider& provider)
{
    StitcherParameters parameters;
    parameters.maxThreads = 2;
    PageStitcher stitcher(parameters);
    cv::Mat result;
    EXPECT_TRUE(stitcher.Stitch(provider, result, nullptr, 0, 100, true));
    return result;
}

/// The share of pixels of `a` (8-bit RGBA) that are identical to `b`'s.
double IdenticalShare(const cv::Mat& a, const cv::Mat& b)
{
    std::size_t identical = 0;
    for (int y = 0; y < a.rows; ++y) {
        for (int x = 0; x < a.cols; ++x) {
            identical += a.at<cv::Vec4b>(y, x) == b.at<cv::Vec4b>(y, x);
        }
    }
    return static_cast<double>(identical) / static_cast<double>(a.total());
}

class PageStitcherSeries : public ::testing::TestWithParam<bool> {};

TEST_P(PageStitcherSeries, ShowsTheFrameAndTheFixedButtonOnceOverAnExactPage)
{
    FramedSeries series = MakeSeries(GetParam());
    BasicImageProvider provider;
    for (cv::Mat& capture : series.cut.captures) {
        provider.Add(capture);
    }
    PageStitcher stitcher(StitcherParameters{});
    cv::Mat result;
    ASSERT_TRUE(stitcher.Stitch(provider, result, nullptr, 0, 100, false));
    EXPECT_EQ(stitcher.GetTranslations(), series.cut.Translations());

    const cv::Rect viewport = series.cut.viewportRect;
    const cv::Size frame = series.cut.captures[0].size() - viewport.size();
    ASSERT_EQ(result.size(), series.page.size() + frame);
    const cv::Mat page = result(cv::Rect(viewport.tl(), series.page.size()));
    EXPECT_GE(IdenticalShare(page, series.page), 0.999);
    // The button once, where the page's own render puts it.
    const cv::Rect button = kButton + series.cut.offsets.back();
    EXPECT_EQ(cv::norm(page(button), series.page(button), cv::NORM_INF), 0.0);
    // The toolbar above the page comes once, from the first capture.
    const cv::Rect toolbar(0, 0, viewport.width, viewport.y);
    EXPECT_EQ(cv::norm(result(toolbar), series.cut.captures[0](toolbar), cv::NORM_INF), 0.0);
    cv::Mat alpha;
    cv::extractChannel(result, alpha, 3);
    EXPECT_EQ(cv::countNonZero(alpha != 255), 0);
}

INSTANTIATE_TEST_SUITE_P(VerticalAndHorizontal, PageStitcherSeries, ::testing::Bool());

TEST(PageStitcher, GivesTheSameImageFromTheMemoryBoundedStoreWithoutLeavingSpillFiles)
{
    FramedSeries series = MakeSeries(true);
    BasicImageProvider inMemory;
    Testing::TempFolder folder;
    cv::Mat expected;
    {
        MemoryEfficientImageProvider bounded(folder.Prefix(), 2 * series.cut.captures[0].total() * 4);
        for (cv::Mat& capture : series.cut.captures) {
            inMemory.Add(capture);
            cv::Mat own = capture.clone();
            bounded.Add(own);
        }
        expected = Stitch(inMemory);
        EXPECT_EQ(cv::norm(Stitch(bounded), expected, cv::NORM_INF), 0.0);
    }
    EXPECT_TRUE(folder.Entries().empty());
}

TEST(PageStitcher, TakesABlinkingCaretForNoScroll)
{
    const cv::Mat page = Testing::MakePage(cv::Size(480, 900), 5, false);
    const Testing::CaptureSeries cut = Testing::CutSeries(page, kViewport, {{0, 0}, {0, 0}, {0, 200}});
    std::vector<cv::Mat> captures = Testing::DeepCopies(cut.captures);
    cv::line(captures[1], {100, 50}, {100, 66}, cv::Scalar(0, 0, 0, 255), 1);
    BasicImageProvider provider;
    for (cv::Mat& capture : captures) {
        provider.Add(capture);
    }
    PageStitcher stitcher(StitcherParameters{});
    cv::Mat result;
    ASSERT_TRUE(stitcher.Stitch(provider, result, nullptr, 0, 100, false));
    EXPECT_EQ(stitcher.GetTranslations(), (std::vector<Translation>{{0, 0}, {-200, 0}}));
    EXPECT_EQ(result.size(), cv::Size(480, 560));
}

TEST(PageStitcher, RefusesWhatItCannotStitchAndStopsWhenCancelled)
{
    Testing::RecordingListener listener;
    BasicImageProvider empty;
    cv::Mat result;
    PageStitcher stitcher(StitcherParameters{});
    EXPECT_FALSE(stitcher.Stitch(empty, result, &listener, 0, 100, true));
    EXPECT_EQ(listener.Log(), "error 1, complete 0");

    BasicImageProvider mismatched;
    cv::Mat first(100, 100, CV_8UC4, cv::Scalar::all(255));
    cv::Mat second(100, 120, CV_8UC4, cv::Scalar::all(255));
    cv::Mat deep(100, 100, CV_16UC4, cv::Scalar::all(255));
    mismatched.Add(first);
    mismatched.Add(second);
    EXPECT_FALSE(stitcher.Stitch(mismatched, result, nullptr, 0, 100, false));
    BasicImageProvider sixteenBit;
    sixteenBit.Add(deep);
    EXPECT_FALSE(stitcher.Stitch(sixteenBit, result, nullptr, 0, 100, false));
    EXPECT_TRUE(result.empty());

    FramedSeries series = MakeSeries(true);
    BasicImageProvider provider;
    for (cv::Mat& capture : series.cut.captures) {
        provider.Add(capture);
    }
    // Measured along the wrong axis, no step explains the page: each pair says so.
    StitcherParameters sideways;
    sideways.direction = 1;
    Testing::RecordingListener warned;
    EXPECT_TRUE(PageStitcher(sideways).Stitch(provider, result, &warned, 0, 100, false));
    EXPECT_EQ(warned.Warnings().size(), series.cut.captures.size() - 1);
    result.release();

    Testing::RecordingListener cancelling;
    cancelling.progressAnswer = [](int, std::size_t call) { return call < 2; };
    EXPECT_FALSE(stitcher.Stitch(provider, result, &cancelling, 0, 100, true));
    EXPECT_EQ(cancelling.Errors(), std::vector<IStitcherListener::StitcherErrorCodes>{IStitcherListener::Cancelled});
    EXPECT_EQ(cancelling.Completions(), std::vector<bool>{false});
    EXPECT_TRUE(result.empty());
}

}  // namespace
}  // namespace Stitching
}  // namespace ZOLT
