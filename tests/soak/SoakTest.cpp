// 300 captures (about 165 MB of pixels) through the memory-bounded store with a 6 MB budget, two
// detection workers and border detection: the same result as the page itself, nothing left on
// disk, and a cancel from another thread half-way ends it cleanly.

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

/// A window with fixed bars over a page scrolled by uneven steps. Every page pixel carries a little
/// noise, so with a change threshold of 0 only the bars are borders.
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

/// Stitches the series from a bounded store in `spill`; the store is gone when this returns.
bool StitchBounded(const TempFolder& spill, cv::Mat& result, Stitching::IStitcherListener& listener)
{
    Stitching::MemoryEfficientImageProvider store(spill.Prefix(), 6 * 1024 * 1024);
    for (cv::Mat capture : DeepCopies(Series().captures)) {
        store.Add(capture);
    }
    EXPECT_FALSE(spill.Entries().empty()) << "the budget never made the store spill";
    Stitching::StitcherParameters parameters;
    parameters.direction = 0;
    parameters.maxThreads = 2;
    return Stitching::StitcherFactory::CreateStitcherWithBasicBorderDetection(parameters, 0, 2)
        ->Stitch(store, result, &listener, 0, 100, true);
}

TEST(Soak, MemoryBoundedStoreStitchesThePageAndCleansUpAlsoAfterACancelFromAnotherThread)
{
    struct HostCancel : RecordingListener {
        bool OnProgress(int position) override
        {
            RecordingListener::OnProgress(position);
            lastPosition = position;
            return !cancelRequested;
        }
        std::atomic<bool> cancelRequested{false};
        std::atomic<int> lastPosition{0};
    } cancelling;
    std::thread host([&cancelling] {
        while (cancelling.lastPosition < 45 && !cancelling.cancelRequested) {
            std::this_thread::yield();
        }
        cancelling.cancelRequested = true;
    });
    const TempFolder spill;
    cv::Mat result;
    const bool stitched = StitchBounded(spill, result, cancelling);
    cancelling.cancelRequested = true;
    host.join();
    EXPECT_FALSE(stitched);
    EXPECT_TRUE(result.empty());
    EXPECT_EQ(cancelling.Errors(), std::vector<Stitching::IStitcherListener::StitcherErrorCodes>{
                                       Stitching::IStitcherListener::Cancelled});
    EXPECT_EQ(cancelling.Completions(), std::vector<bool>{false});
    EXPECT_LT(cancelling.Progress().back(), 90) << "the cancel came after detection";
    EXPECT_TRUE(spill.Entries().empty());

    RecordingListener listener;
    ASSERT_TRUE(StitchBounded(spill, result, listener));
    EXPECT_EQ(listener.Completions(), std::vector<bool>{true});
    EXPECT_TRUE(spill.Entries().empty()) << "spill files outlived their store";
    // The whole window for the bars at top and bottom, the covered page in between.
    const CaptureSeries& series = Series();
    const cv::Mat first = series.captures.front();
    cv::Mat expected;
    cv::vconcat(std::vector<cv::Mat>{first.rowRange(0, series.viewportRect.y), series.CoveredPage(),
                                     first.rowRange(series.viewportRect.br().y, first.rows)},
                expected);
    EXPECT_TRUE(SamePixels(result, expected));
}

}  // namespace
}  // namespace Testing
}  // namespace ZOLT
