// The smart stitcher's driver: listener reports, progress shares, cancellation, rejected captures
// and the state one stitch leaves for the next. Detection is scripted so that only the smart
// stitcher and its inner basic stitcher are under test.

#include "RecordingListener.h"
#include "SmartStitcherAccess.h"

#include <ZOLT/Stitching.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

using ZOLT::BasicImageProvider;
using ZOLT::IImageProvider;
using ZOLT::Stitching::IStitcherListener;
using ZOLT::Stitching::ITranslationDetector;
using ZOLT::Stitching::SmartStitcher;
using ZOLT::Stitching::StitcherParameters;
using ZOLT::Stitching::Translation;
using ZOLT::Testing::RecordingListener;
using Access = ZOLT::Stitching::TestAccess<SmartStitcher>;

namespace {

/// Answers every pair with the same step and records what it was asked.
class ScriptedDetector : public ITranslationDetector {
public:
    explicit ScriptedDetector(Translation step) : step_(step) {}

    std::vector<Translation> DetectTranslation(IImageProvider& provider, IStitcherListener* listener,
                                               int progressStart, int progressEnd) override
    {
        counts.push_back(provider.Count());
        ranges.emplace_back(progressStart, progressEnd);
        if (failing) {
            return {};
        }
        if (listener != nullptr && !listener->OnProgress(progressEnd)) {
            listener->OnError(IStitcherListener::Cancelled, false);
            return {};
        }
        return std::vector<Translation>(provider.Count() - 1, step_);
    }

    Translation DetectTranslation(const cv::Mat&, const cv::Mat&, IStitcherListener*) override { return step_; }

    bool failing = false;
    std::vector<std::size_t> counts;
    std::vector<std::pair<int, int>> ranges;

private:
    Translation step_;
};

const Translation kStep(-5, 0);

/// 60-row captures: a fixed frame of random pixels around a 40 x 40 viewport that scrolls 5 rows
/// per capture over random content. The frame is 20 rows high above the viewport, nothing below,
/// `left` columns wide on the left and 20 on the right.
std::vector<cv::Mat> ScrollingCaptures(int count = 3, int left = 20)
{
    cv::Mat content(40 + 5 * count, 40, CV_8UC4);
    cv::RNG rng(77);
    rng.fill(content, cv::RNG::UNIFORM, 0, 256);
    content.reshape(1, content.rows * content.cols).col(3).setTo(255);
    cv::Mat frame(60, left + 60, CV_8UC4);
    rng.fill(frame, cv::RNG::UNIFORM, 0, 256);
    std::vector<cv::Mat> captures;
    for (int i = 0; i < count; ++i) {
        cv::Mat capture = frame.clone();
        content.rowRange(5 * i, 5 * i + 40).copyTo(capture(cv::Rect(left, 20, 40, 40)));
        captures.push_back(capture);
    }
    return captures;
}

BasicImageProvider ProviderOf(std::vector<cv::Mat> captures)
{
    BasicImageProvider provider;
    for (cv::Mat& capture : captures) {
        provider.Add(capture);
    }
    return provider;
}

struct Fixture {
    std::shared_ptr<ScriptedDetector> detector = std::make_shared<ScriptedDetector>(kStep);
    SmartStitcher stitcher{detector, StitcherParameters(), 1};
    BasicImageProvider provider = ProviderOf(ScrollingCaptures());
    RecordingListener listener;
    cv::Mat untouched = cv::Mat(1, 1, CV_8UC4, cv::Scalar::all(7));
    cv::Mat result = untouched;
};

}  // namespace

TEST(SmartStitcherStitch, EmptyProviderFailsWithNoImages)
{
    Fixture f;
    BasicImageProvider empty;
    EXPECT_FALSE(f.stitcher.Stitch(empty, f.result, &f.listener, 0, 100, true));
    EXPECT_EQ(f.listener.Calls(), (std::vector<std::string>{"error 1", "complete 0"}));
    EXPECT_EQ(f.result.data, f.untouched.data);

    RecordingListener quiet;
    EXPECT_FALSE(f.stitcher.Stitch(empty, f.result, &quiet, 0, 100, false));
    EXPECT_EQ(quiet.Calls(), (std::vector<std::string>{"error 1"}));
    EXPECT_FALSE(f.stitcher.Stitch(empty, f.result, nullptr, 0, 100, true));
}

TEST(SmartStitcherStitch, OneCaptureIsTheResultItself)
{
    Fixture f;
    BasicImageProvider single = ProviderOf({ScrollingCaptures()[0]});
    EXPECT_TRUE(f.stitcher.Stitch(single, f.result, &f.listener, 0, 100, true));
    EXPECT_EQ(f.result.data, single.GetImageAt(0)->data);
    EXPECT_EQ(f.listener.Calls(), (std::vector<std::string>{"progress 100", "complete 1"}));
    EXPECT_TRUE(f.detector->counts.empty());
    EXPECT_EQ(Access::InnerStitcher(f.stitcher), nullptr);

    RecordingListener refusing;
    refusing.progressAnswer = [](int, std::size_t) { return false; };
    cv::Mat other;
    EXPECT_FALSE(f.stitcher.Stitch(single, other, &refusing, 0, 100, true));
    EXPECT_EQ(refusing.Calls(), (std::vector<std::string>{"progress 100", "error 4", "complete 0"}));
    EXPECT_EQ(other.data, single.GetImageAt(0)->data);
}

TEST(SmartStitcherStitch, ProgressSharesOfARange)
{
    struct Case {
        int start;
        int end;
        std::vector<int> own;  // region, crop, stitch, end
        std::pair<int, int> inner;
    };
    // Shares are rounded half away from zero: a span of 10 gives cropping 0.5 -> 1.
    const Case cases[] = {{0, 100, {20, 25, 95, 100}, {25, 95}},
                          {0, 10, {2, 3, 10, 10}, {3, 10}},
                          {10, 0, {8, 7, 0, 0}, {7, 0}},
                          {-20, 20, {-12, -10, 18, 20}, {-10, 18}}};
    for (const Case& c : cases) {
        Fixture f;
        ASSERT_TRUE(f.stitcher.Stitch(f.provider, f.result, &f.listener, c.start, c.end, true));
        const std::vector<int> progress = f.listener.Progress();
        ASSERT_GE(progress.size(), 4U);
        EXPECT_EQ(progress[0], c.own[0]) << c.start << ".." << c.end;
        EXPECT_EQ(progress[1], c.own[1]) << c.start << ".." << c.end;
        EXPECT_EQ(progress[progress.size() - 2], c.own[2]) << c.start << ".." << c.end;
        EXPECT_EQ(progress.back(), c.own[3]) << c.start << ".." << c.end;
        // The inner stitch reports within its own sub-range, and detection starts where it starts.
        const int low = std::min(c.inner.first, c.inner.second);
        const int high = std::max(c.inner.first, c.inner.second);
        for (std::size_t i = 2; i + 2 < progress.size(); ++i) {
            EXPECT_GE(progress[i], low);
            EXPECT_LE(progress[i], high);
        }
        ASSERT_EQ(f.detector->ranges.size(), 1U);
        EXPECT_EQ(f.detector->ranges[0].first, c.inner.first);
        EXPECT_EQ(f.listener.Calls().back(), "complete 1");
        EXPECT_TRUE(f.listener.Errors().empty());
    }
}

TEST(SmartStitcherStitch, NarrowGapsAreStitchedAndWideOnesFramed)
{
    // Left of the viewport a gap of 19 pixels, one below the default threshold; right of it 20.
    Fixture f;
    BasicImageProvider provider = ProviderOf(ScrollingCaptures(3, 19));
    const cv::Mat first = *provider.GetImageAt(0);
    ASSERT_TRUE(f.stitcher.Stitch(provider, f.result, nullptr, 0, 100, false));
    ASSERT_EQ(f.result.size(), cv::Size(first.cols, first.rows + 10));

    const auto isOneColour = [](const cv::Mat& column) {
        const cv::Mat firstPixel = column.row(0);
        for (int row = 1; row < column.rows; ++row) {
            if (cv::norm(column.row(row), firstPixel, cv::NORM_INF) != 0) {
                return false;
            }
        }
        return true;
    };
    // Below the first capture's height the stitched columns go on with content, while a framed
    // side column is drawn in one colour.
    const cv::Mat below = f.result.rowRange(first.rows, f.result.rows);
    EXPECT_FALSE(isOneColour(below.col(0)));
    EXPECT_FALSE(isOneColour(below.col(18)));
    EXPECT_TRUE(isOneColour(below.col(first.cols - 20)));
    EXPECT_TRUE(isOneColour(below.col(first.cols - 1)));
}

TEST(SmartStitcherStitch, WithoutCompletionReportsTheLastOwnPositionIsTheStitchShare)
{
    Fixture f;
    ASSERT_TRUE(f.stitcher.Stitch(f.provider, f.result, &f.listener, 0, 100, false));
    EXPECT_TRUE(f.listener.Completions().empty());
    EXPECT_EQ(f.listener.Calls().back(), "progress 95");

    cv::Mat silent;
    EXPECT_TRUE(f.stitcher.Stitch(f.provider, silent, nullptr, 0, 100, true));
    EXPECT_EQ(silent.size(), f.result.size());
}

TEST(SmartStitcherStitch, CancelAtEachOfItsOwnReports)
{
    // Which progress call is the smart stitcher's own report at region search, cropping and
    // after the inner stitch, taken from an undisturbed run.
    Fixture reference;
    ASSERT_TRUE(reference.stitcher.Stitch(reference.provider, reference.result, &reference.listener, 0, 100, true));
    const std::vector<int> positions = reference.listener.Progress();
    ASSERT_GE(positions.size(), 4U);
    const std::size_t regionCall = 0;
    const std::size_t cropCall = 1;
    const std::size_t stitchCall = positions.size() - 2;
    ASSERT_EQ(positions[regionCall], 20);
    ASSERT_EQ(positions[cropCall], 25);
    ASSERT_EQ(positions[stitchCall], 95);

    for (const std::size_t refusedCall : {regionCall, cropCall, stitchCall}) {
        Fixture f;
        f.listener.progressAnswer = [refusedCall](int, std::size_t call) { return call != refusedCall; };
        testing::internal::CaptureStderr();
        EXPECT_FALSE(f.stitcher.Stitch(f.provider, f.result, &f.listener, 0, 100, true));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(f.listener.Errors(), (std::vector<IStitcherListener::StitcherErrorCodes>{IStitcherListener::Cancelled}));
        EXPECT_EQ(f.listener.Calls().back(), "complete 0");
        EXPECT_EQ(f.listener.Progress().size(), refusedCall + 1);
        EXPECT_EQ(f.result.data, f.untouched.data);
        // Refused before cropping: nothing was cropped or detected.
        const bool beforeCropping = refusedCall == regionCall;
        EXPECT_EQ(Access::CropCount(f.stitcher), beforeCropping ? 0U : 3U);
        EXPECT_EQ(f.detector->counts.size(), refusedCall == stitchCall ? 1U : 0U);
    }
}

TEST(SmartStitcherStitch, FailedInnerStitchAddsNoErrorOfItsOwn)
{
    Fixture f;
    f.detector->failing = true;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(f.stitcher.Stitch(f.provider, f.result, &f.listener, 0, 100, true));
    const std::string errorLines = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(f.listener.Errors().empty());
    EXPECT_EQ(f.listener.Completions(), std::vector<bool>{false});
    EXPECT_EQ(f.result.data, f.untouched.data);
    EXPECT_TRUE(f.stitcher.GetTranslations().empty());
    // The inner stitcher reports its own failure, on a single line.
    EXPECT_EQ(std::count(errorLines.begin(), errorLines.end(), '\n'), 1);
}

TEST(SmartStitcherStitch, CapturesOutsideTheByteLayoutAreRejectedUpFront)
{
    for (const int type : {CV_16UC4, CV_8UC(5)}) {
        Fixture f;
        cv::Mat first(30, 30, type);
        cv::Mat last(30, 30, type);
        first.reshape(1).setTo(1);
        last.reshape(1).setTo(90);
        BasicImageProvider provider = ProviderOf({first, last});
        testing::internal::CaptureStderr();
        EXPECT_FALSE(f.stitcher.Stitch(provider, f.result, &f.listener, 0, 100, true));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(f.listener.Calls(), std::vector<std::string>{"complete 0"});
        EXPECT_TRUE(f.detector->counts.empty());
        EXPECT_EQ(f.result.data, f.untouched.data);
    }
}

TEST(SmartStitcherStitch, EachStitchStartsAfreshAndKeepsItsTranslations)
{
    Fixture f;
    EXPECT_TRUE(f.stitcher.GetTranslations().empty());
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
    ASSERT_EQ(again.size(), firstResult.size());
    EXPECT_EQ(cv::norm(again, firstResult, cv::NORM_INF), 0);
}
