// 300 captures through the memory-bounded store with a small budget, two detection workers and
// border detection: the results equal those of the in-memory store, and nothing is left on disk.

#include "RecordingListener.h"
#include "SyntheticCaptures.h"
#include "TempFolder.h"
#include "TestImages.h"

#include <ZOLT/Stitching.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace ZOLT {
namespace Testing {
namespace {

using Stitching::IStitcherListener;

/// A window with a fixed title bar, toolbar and status bar over a page scrolled by uneven steps.
/// (Much smaller viewports let the correlation of the zero padding's edges, which sits at (0, 0),
/// compete with the true peak.) The 300 captures hold about 165 MB of pixels.
const CaptureSeries& Series()
{
    static const CaptureSeries series = [] {
        std::vector<cv::Point> steps;
        for (int i = 1; i < 300; ++i) {
            steps.emplace_back(0, 17 + (i * 37) % 53);
        }
        const std::vector<cv::Point> offsets = OffsetsFromSteps({0, 0}, steps);
        WindowFrame frame;
        frame.titleBar = 14;
        frame.toolbar = 18;
        frame.statusBar = 12;
        return CutSeries(MakePage(cv::Size(400, offsets.back().y + 300), 300), cv::Size(400, 300), offsets, frame);
    }();
    return series;
}

/// Border detection around two detection workers. Every page pixel carries a little noise, so
/// with a change threshold of 0 the content box spans the whole viewport width and only the
/// fixed bars are borders.
std::shared_ptr<Stitching::IStitcher> MakeStitcher()
{
    Stitching::StitcherParameters parameters;
    parameters.direction = 0;
    parameters.maxThreads = 2;
    return Stitching::StitcherFactory::CreateStitcherWithBasicBorderDetection(parameters, 0, 2);
}

/// A 6 MB budget keeps all but a dozen captures on disk.
std::unique_ptr<Stitching::MemoryEfficientImageProvider> BoundedStore(const TempFolder& spill)
{
    auto store = std::make_unique<Stitching::MemoryEfficientImageProvider>(spill.Prefix(), 6 * 1024 * 1024);
    for (cv::Mat capture : DeepCopies(Series().captures)) {
        store->Add(capture);
    }
    return store;
}

TEST(Soak, MemoryBoundedStoreStitchesLikeTheInMemoryStoreAndCleansUp)
{
    const CaptureSeries& series = Series();
    const TempFolder spill;
    auto bounded = BoundedStore(spill);
    EXPECT_FALSE(spill.Entries().empty()) << "the budget never made the store spill";
    const auto stitcher = MakeStitcher();
    RecordingListener listener;
    cv::Mat boundedResult;
    ASSERT_TRUE(stitcher->Stitch(*bounded, boundedResult, &listener, 0, 100, true));
    EXPECT_EQ(listener.Completions(), std::vector<bool>{true});
    EXPECT_EQ(stitcher->GetTranslations(), series.Translations());
    bounded.reset();
    EXPECT_TRUE(spill.Entries().empty()) << "spill files outlived their store";

    // The whole window for the top and bottom frame, the covered page in between.
    const cv::Mat first = series.captures.front();
    const cv::Mat content = series.CoveredPage();
    const int top = series.viewportRect.y;
    const int bottom = first.rows - series.viewportRect.br().y;
    cv::Mat expected;
    cv::vconcat(std::vector<cv::Mat>{first.rowRange(0, top), content, first.rowRange(first.rows - bottom, first.rows)},
                expected);
    EXPECT_TRUE(SamePixels(boundedResult, expected));
    BasicImageProvider inMemory = ProviderOf(DeepCopies(series.captures));
    cv::Mat inMemoryResult;
    ASSERT_TRUE(MakeStitcher()->Stitch(inMemory, inMemoryResult, nullptr, 0, 100, false));
    EXPECT_TRUE(SamePixels(inMemoryResult, expected));
}

TEST(Soak, CancelFromAnotherThreadHalfWayFailsCleanly)
{
    /// Answers OnProgress from a flag that another thread raises.
    struct HostCancel : RecordingListener {
        std::atomic<bool> cancelRequested{false};
        std::atomic<int> lastPosition{0};
        bool OnProgress(int position) override
        {
            RecordingListener::OnProgress(position);
            lastPosition = position;
            return !cancelRequested;
        }
    } listener;
    const TempFolder spill;
    auto bounded = BoundedStore(spill);
    std::thread host([&listener] {
        while (listener.lastPosition < 45 && !listener.cancelRequested) {
            std::this_thread::yield();
        }
        listener.cancelRequested = true;
    });
    cv::Mat result;
    const bool stitched = MakeStitcher()->Stitch(*bounded, result, &listener, 0, 100, true);
    listener.cancelRequested = true;
    host.join();
    bounded.reset();
    EXPECT_FALSE(stitched);
    EXPECT_TRUE(result.empty());
    EXPECT_EQ(listener.Errors(), std::vector<IStitcherListener::StitcherErrorCodes>{IStitcherListener::Cancelled});
    EXPECT_EQ(listener.Completions(), std::vector<bool>{false});
    EXPECT_LT(listener.Progress().back(), 90) << "the cancel came after detection";
    EXPECT_TRUE(spill.Entries().empty());
}

}  // namespace
}  // namespace Testing
}  // namespace ZOLT
