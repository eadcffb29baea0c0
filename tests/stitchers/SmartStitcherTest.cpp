// The smart stitcher's driver: listener reports, progress shares, cancellation, rejected captures
// and the state one stitch leaves for the next. Detection is scripted so that only the smart
// stitcher and its inner basic stitcher are under test.

#include "RecordingListener.h"
#include "SmartStitcherAccess.h"
#include "StitcherFakes.h"
#include "TestImages.h"

#include <ZOLT/Stitching.h>

#include <gtest/gtest.h>

namespace ZOLT {
namespace Stitching {
namespace {

using Testing::ProviderOf;
using Testing::RecordingListener;
using Access = TestAccess<SmartStitcher>;

const Translation kStep(-5, 0);

/// 60-row captures: a fixed frame of random pixels around a 40 x 40 viewport that scrolls 5 rows
/// per capture over random content. The frame is 20 rows high above the viewport, nothing below,
/// `left` columns wide on the left and 20 on the right.
std::vector<cv::Mat> ScrollingCaptures(int count = 3, int left = 20)
{
    cv::Mat content = Testing::Noise(cv::Size(40, 40 + 5 * count), 77);
    content.reshape(1, static_cast<int>(content.total())).col(3).setTo(255);
    const cv::Mat frame = Testing::Noise(cv::Size(left + 60, 60), 78);
    std::vector<cv::Mat> captures;
    for (int i = 0; i < count; ++i) {
        captures.push_back(frame.clone());
        content.rowRange(5 * i, 5 * i + 40).copyTo(captures.back()(cv::Rect(left, 20, 40, 40)));
    }
    return captures;
}

/// A smart stitcher on a scripted detector, and a result that shows whether a stitch wrote it.
struct Fixture {
    Fixture() { detector->step = kStep; }

    std::shared_ptr<Testing::FakeDetector> detector = std::make_shared<Testing::FakeDetector>();
    SmartStitcher stitcher{detector, StitcherParameters(), 1};
    BasicImageProvider provider = ProviderOf(ScrollingCaptures());
    RecordingListener listener;
    const cv::Mat untouched = cv::Mat(1, 1, CV_8UC4, cv::Scalar::all(7));
    cv::Mat result = untouched;
};

TEST(SmartStitcher, EmptyProviderOrOneCaptureNeedsNoDetection)
{
    Fixture f;
    BasicImageProvider empty;
    BasicImageProvider single = ProviderOf({ScrollingCaptures()[0]});
    const cv::Mat& capture = *single.GetImageAt(0);
    const struct {
        IImageProvider* provider;
        bool refuse;
        bool completion;
        std::string calls;
        const cv::Mat& result;
    } cases[] = {{&empty, false, true, "error 1, complete 0", f.untouched},
                 {&empty, false, false, "error 1", f.untouched},
                 {&single, false, true, "progress 100, complete 1", capture},
                 {&single, true, true, "progress 100, error 4, complete 0", capture}};
    for (const auto& c : cases) {
        RecordingListener listener;
        listener.progressAnswer = [&c](int, std::size_t) { return !c.refuse; };
        cv::Mat result = f.untouched;
        EXPECT_EQ(f.stitcher.Stitch(*c.provider, result, &listener, 0, 100, c.completion), c.calls == "progress 100, complete 1");
        EXPECT_EQ(listener.Log(), c.calls);
        EXPECT_EQ(result.data, c.result.data);
    }
    EXPECT_TRUE(f.detector->counts.empty());
    EXPECT_EQ(Access::InnerStitcher(f.stitcher), nullptr);
}

TEST(SmartStitcher, ProgressSharesOfARange)
{
    const struct {
        int start;
        int end;
        std::vector<int> own;  // region, crop, stitch, end
        std::pair<int, int> inner;
    } cases[] = {{0, 100, {20, 25, 95, 100}, {25, 95}},
                 // Shares are rounded half away from zero: a span of 10 gives cropping 0.5 -> 1.
                 {0, 10, {2, 3, 10, 10}, {3, 10}},
                 {10, 0, {8, 7, 0, 0}, {7, 0}},
                 {-20, 20, {-12, -10, 18, 20}, {-10, 18}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.start) + ".." + std::to_string(c.end));
        Fixture f;
        ASSERT_TRUE(f.stitcher.Stitch(f.provider, f.result, &f.listener, c.start, c.end, true));
        const std::vector<int> progress = f.listener.Progress();
        ASSERT_GE(progress.size(), 4U);
        EXPECT_EQ((std::vector<int>{progress[0], progress[1], progress[progress.size() - 2], progress.back()}), c.own);
        // The inner stitch reports within its own sub-range, and detection starts where it starts.
        for (std::size_t i = 2; i + 2 < progress.size(); ++i) {
            EXPECT_GE(progress[i], std::min(c.inner.first, c.inner.second));
            EXPECT_LE(progress[i], std::max(c.inner.first, c.inner.second));
        }
        ASSERT_EQ(f.detector->ranges.size(), 1U);
        EXPECT_EQ(f.detector->ranges[0].first, c.inner.first);
        EXPECT_EQ(f.listener.Calls().back(), "complete 1");
        EXPECT_TRUE(f.listener.Errors().empty());
    }
    // Without completion reports the last position is the stitch share's end.
    Fixture f;
    ASSERT_TRUE(f.stitcher.Stitch(f.provider, f.result, &f.listener, 0, 100, false));
    EXPECT_EQ(f.listener.Calls().back(), "progress 95");
}

TEST(SmartStitcher, NarrowGapsAreStitchedAndWideOnesFramed)
{
    // Left of the viewport a gap of 19 pixels, one below the default threshold; right of it 20.
    Fixture f;
    BasicImageProvider provider = ProviderOf(ScrollingCaptures(3, 19));
    const cv::Mat first = *provider.GetImageAt(0);
    ASSERT_TRUE(f.stitcher.Stitch(provider, f.result, nullptr, 0, 100, false));
    ASSERT_EQ(f.result.size(), cv::Size(first.cols, first.rows + 10));
    // Below the first capture's height the stitched columns go on with content, while a framed
    // side column is drawn in one colour.
    const cv::Mat below = f.result.rowRange(first.rows, f.result.rows);
    const auto isOneColour = [&below](int col) {
        return cv::countNonZero(cv::Mat(below.col(col) != cv::repeat(below.col(col).row(0), below.rows, 1))
                                    .reshape(1)) == 0;
    };
    EXPECT_FALSE(isOneColour(0));
    EXPECT_FALSE(isOneColour(18));
    EXPECT_TRUE(isOneColour(first.cols - 20));
    EXPECT_TRUE(isOneColour(first.cols - 1));
}

TEST(SmartStitcher, CancelAtEachOfItsOwnReports)
{
    // Progress calls 0 and 1 are the region search and the cropping; the stitch share's report
    // is the one before the last.
    Fixture reference;
    ASSERT_TRUE(reference.stitcher.Stitch(reference.provider, reference.result, &reference.listener, 0, 100, true));
    const std::size_t stitchCall = reference.listener.Progress().size() - 2;
    ASSERT_EQ(reference.listener.Progress()[stitchCall], 95);

    for (const std::size_t refusedCall : {std::size_t{0}, std::size_t{1}, stitchCall}) {
        SCOPED_TRACE(refusedCall);
        Fixture f;
        f.listener.progressAnswer = [refusedCall](int, std::size_t call) { return call != refusedCall; };
        EXPECT_EQ(Testing::StderrOf([&] { EXPECT_FALSE(f.stitcher.Stitch(f.provider, f.result, &f.listener, 0, 100, true)); }),
                  "");
        EXPECT_EQ(f.listener.Errors(), (std::vector<IStitcherListener::StitcherErrorCodes>{IStitcherListener::Cancelled}));
        EXPECT_EQ(f.listener.Calls().back(), "complete 0");
        EXPECT_EQ(f.listener.Progress().size(), refusedCall + 1);
        EXPECT_EQ(f.result.data, f.untouched.data);
        // Refused before the inner stitch: nothing was detected.
        EXPECT_EQ(f.detector->counts.size(), refusedCall == stitchCall ? 1U : 0U);
    }
}

TEST(SmartStitcher, FailedInnerStitchOrUnsupportedCapturesFailWithoutAnErrorOfItsOwn)
{
    Fixture f;
    f.detector->failing = true;
    // The inner stitcher reports its own failure, on a single line.
    EXPECT_EQ(Testing::StderrOf([&] { EXPECT_FALSE(f.stitcher.Stitch(f.provider, f.result, &f.listener, 0, 100, true)); }),
              "Error: Failed to detect translations.\n");
    EXPECT_EQ(f.listener.Log(), "progress 20, progress 25, complete 0");
    EXPECT_EQ(f.result.data, f.untouched.data);
    EXPECT_TRUE(f.stitcher.GetTranslations().empty());

    for (const int type : {CV_16UC4, CV_8UC(5)}) {
        Fixture g;
        cv::Mat first(30, 30, type);
        cv::Mat last(30, 30, type);
        first.reshape(1).setTo(1);
        last.reshape(1).setTo(90);
        BasicImageProvider provider = ProviderOf({first, last});
        EXPECT_EQ(Testing::StderrOf([&] { EXPECT_FALSE(g.stitcher.Stitch(provider, g.result, &g.listener, 0, 100, true)); }),
                  "");
        EXPECT_EQ(g.listener.Log(), "complete 0");
        EXPECT_TRUE(g.detector->counts.empty());
        EXPECT_EQ(g.result.data, g.untouched.data);
    }
}

TEST(SmartStitcher, EachStitchStartsAfreshAndKeepsItsTranslations)
{
    Fixture f;
    ASSERT_TRUE(f.stitcher.Stitch(f.provider, f.result, nullptr, 0, 100, false));
    EXPECT_EQ(f.stitcher.GetTranslations(), (std::vector<Translation>{kStep, kStep}));
    const auto firstInner = Access::InnerStitcher(f.stitcher);
    const cv::Mat firstResult = f.result.clone();

    BasicImageProvider longer = ProviderOf(ScrollingCaptures(4));
    cv::Mat longerResult;
    ASSERT_TRUE(f.stitcher.Stitch(longer, longerResult, nullptr, 0, 100, false));
    EXPECT_NE(Access::InnerStitcher(f.stitcher), firstInner);
    EXPECT_EQ(f.detector->counts, (std::vector<std::size_t>{3, 4}));
    EXPECT_EQ(f.stitcher.GetTranslations().size(), 3U);
    EXPECT_EQ(SmartStitcher(f.stitcher).GetTranslations(), f.stitcher.GetTranslations());

    // A single capture leaves the translations of the last multi-capture stitch.
    BasicImageProvider single = ProviderOf({ScrollingCaptures()[0]});
    cv::Mat one;
    ASSERT_TRUE(f.stitcher.Stitch(single, one, nullptr, 0, 100, false));
    EXPECT_EQ(f.stitcher.GetTranslations().size(), 3U);

    cv::Mat again;
    ASSERT_TRUE(f.stitcher.Stitch(f.provider, again, nullptr, 0, 100, false));
    EXPECT_EQ(f.detector->counts.back(), 3U);
    EXPECT_TRUE(Testing::SamePixels(again, firstResult));
}

}  // namespace
}  // namespace Stitching
}  // namespace ZOLT
