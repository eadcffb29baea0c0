// 300 captures through the memory-bounded store with a small budget, two detection workers and
// border detection: the results equal those of the in-memory store, and nothing is left on disk.

#include "RecordingListener.h"
#include "SyntheticCaptures.h"
#include "TempFolder.h"

#include <ZOLT/Stitching.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using ZOLT::BasicImageProvider;
using ZOLT::Stitching::IStitcherListener;
using ZOLT::Stitching::MemoryEfficientImageProvider;
using ZOLT::Stitching::StitcherFactory;
using ZOLT::Stitching::StitcherParameters;
using ZOLT::Stitching::Translation;
using ZOLT::Testing::CaptureSeries;
using ZOLT::Testing::TempFolder;

namespace {

constexpr int kCaptures = 300;
// Every page pixel carries a little noise, so with a change threshold of 0 the content box spans
// the whole viewport width and only the fixed bars are borders.
constexpr unsigned kChangeThreshold = 0;
constexpr unsigned kNeighborThreshold = 2;

/// A window with a fixed title bar, toolbar and status bar over a page scrolled by uneven steps.
/// (Much smaller viewports let the correlation of the zero padding's edges, which sits at (0, 0),
/// compete with the true peak.)
const CaptureSeries& Series()
{
    static const CaptureSeries series = [] {
        std::vector<cv::Point> steps;
        for (int i = 1; i < kCaptures; ++i) {
            steps.emplace_back(0, 17 + (i * 37) % 53);
        }
        const std::vector<cv::Point> offsets = ZOLT::Testing::OffsetsFromSteps({0, 0}, steps);
        const cv::Mat page = ZOLT::Testing::MakePage(cv::Size(400, offsets.back().y + 300), 300);
        ZOLT::Testing::WindowFrame frame;
        frame.titleBar = 14;
        frame.toolbar = 18;
        frame.statusBar = 12;
        return ZOLT::Testing::CutSeries(page, cv::Size(400, 300), offsets, frame);
    }();
    return series;
}

StitcherParameters TwoWorkers()
{
    StitcherParameters parameters;
    parameters.direction = 0;
    parameters.maxThreads = 2;
    return parameters;
}

/// The whole window for the top and bottom frame, the covered page in between.
cv::Mat ExpectedResult(const CaptureSeries& series)
{
    const cv::Mat first = series.captures.front();
    const cv::Mat content = series.CoveredPage();
    const int top = series.viewportRect.y;
    const int bottom = first.rows - series.viewportRect.br().y;
    cv::Mat expected(top + content.rows + bottom, first.cols, first.type());
    first.rowRange(0, top).copyTo(expected.rowRange(0, top));
    content.copyTo(expected.rowRange(top, top + content.rows));
    first.rowRange(first.rows - bottom, first.rows).copyTo(expected.rowRange(top + content.rows, expected.rows));
    return expected;
}

/// The 300 captures hold about 165 MB of pixels; a 6 MB budget keeps all but a dozen on disk.
constexpr std::size_t kBudget = 6 * 1024 * 1024;

}  // namespace

TEST(Soak, MemoryBoundedStoreStitchesLikeTheInMemoryStoreAndCleansUp)
{
    const CaptureSeries& series = Series();
    const TempFolder spill;
    std::vector<Translation> boundedTranslations;
    cv::Mat boundedResult;
    {
        MemoryEfficientImageProvider bounded(spill.Prefix(), kBudget);
        for (cv::Mat capture : ZOLT::Testing::DeepCopies(series.captures)) {
            bounded.Add(capture);
        }
        EXPECT_FALSE(spill.Entries().empty()) << "the budget never made the store spill";

        const auto stitcher = StitcherFactory::CreateStitcherWithBasicBorderDetection(TwoWorkers(), kChangeThreshold,
                                                                                      kNeighborThreshold);
        ZOLT::Testing::RecordingListener listener;
        ASSERT_TRUE(stitcher->Stitch(bounded, boundedResult, &listener, 0, 100, true));
        EXPECT_EQ(listener.Completions(), std::vector<bool>{true});
        boundedTranslations = stitcher->GetTranslations();
    }
    EXPECT_TRUE(spill.Entries().empty()) << "spill files outlived their store";

    BasicImageProvider inMemory;
    for (cv::Mat capture : ZOLT::Testing::DeepCopies(series.captures)) {
        inMemory.Add(capture);
    }
    const auto stitcher =
        StitcherFactory::CreateStitcherWithBasicBorderDetection(TwoWorkers(), kChangeThreshold, kNeighborThreshold);
    cv::Mat inMemoryResult;
    ASSERT_TRUE(stitcher->Stitch(inMemory, inMemoryResult, nullptr, 0, 100, false));

    EXPECT_EQ(boundedTranslations, series.Translations());
    EXPECT_EQ(stitcher->GetTranslations(), boundedTranslations);
    const cv::Mat expected = ExpectedResult(series);
    ASSERT_EQ(boundedResult.size(), expected.size());
    EXPECT_EQ(cv::norm(boundedResult, expected, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(inMemoryResult, expected, cv::NORM_INF), 0.0);
}

TEST(Soak, CancelFromAnotherThreadHalfWayFailsCleanly)
{
    /// Answers OnProgress from a flag that another thread raises.
    class HostCancel : public ZOLT::Testing::RecordingListener {
    public:
        std::atomic<bool> cancelRequested{false};
        std::atomic<int> lastPosition{0};
        bool OnProgress(int position) override
        {
            RecordingListener::OnProgress(position);
            lastPosition = position;
            return !cancelRequested;
        }
    };

    const CaptureSeries& series = Series();
    const TempFolder spill;
    HostCancel listener;
    bool stitched = true;
    {
        MemoryEfficientImageProvider bounded(spill.Prefix(), kBudget);
        for (cv::Mat capture : ZOLT::Testing::DeepCopies(series.captures)) {
            bounded.Add(capture);
        }
        const auto stitcher = StitcherFactory::CreateStitcherWithBasicBorderDetection(TwoWorkers(), kChangeThreshold,
                                                                                      kNeighborThreshold);
        std::thread host([&listener] {
            while (listener.lastPosition < 45 && !listener.cancelRequested) {
                std::this_thread::yield();
            }
            listener.cancelRequested = true;
        });
        cv::Mat result;
        stitched = stitcher->Stitch(bounded, result, &listener, 0, 100, true);
        listener.cancelRequested = true;
        host.join();
        EXPECT_TRUE(result.empty());
    }
    EXPECT_FALSE(stitched);
    EXPECT_EQ(listener.Errors(), std::vector<IStitcherListener::StitcherErrorCodes>{IStitcherListener::Cancelled});
    EXPECT_EQ(listener.Completions(), std::vector<bool>{false});
    EXPECT_LT(listener.Progress().back(), 90) << "the cancel came after detection";
    EXPECT_TRUE(spill.Entries().empty());
}
