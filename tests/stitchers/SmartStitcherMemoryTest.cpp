// The smart stitcher over the memory-bounded store: a capture the store has spilled is not kept
// alive by the stitcher, so the store's budget bounds what the stitch holds.

#include "SyntheticCaptures.h"
#include "TempFolder.h"

#include <ZOLT/Stitching.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

namespace ZOLT {
namespace Testing {
namespace {

/// Counts the pixel buffers it has handed out and not yet got back.
class CountingAllocator : public cv::MatAllocator {
public:
    cv::UMatData* allocate(int dims, const int* sizes, int type, void* data, std::size_t* step, cv::AccessFlag flags,
                           cv::UMatUsageFlags usage) const override
    {
        cv::UMatData* const record = std_->allocate(dims, sizes, type, data, step, flags, usage);
        record->currAllocator = this;
        const int now = ++live;
        for (int seen = peak.load(); now > seen && !peak.compare_exchange_weak(seen, now);) {
        }
        return record;
    }
    bool allocate(cv::UMatData* record, cv::AccessFlag flags, cv::UMatUsageFlags usage) const override
    {
        return std_->allocate(record, flags, usage);
    }
    void deallocate(cv::UMatData* record) const override
    {
        --live;
        std_->deallocate(record);
    }

    mutable std::atomic<int> live{0};
    mutable std::atomic<int> peak{0};

private:
    cv::MatAllocator* const std_ = cv::Mat::getStdAllocator();
};

/// The store, handing out every capture it reads in a buffer of the counting allocator.
struct CountedStore : Stitching::MemoryEfficientImageProvider {
    using MemoryEfficientImageProvider::MemoryEfficientImageProvider;
    std::shared_ptr<cv::Mat> GetImageAt(std::size_t index) override
    {
        auto counted = std::make_shared<cv::Mat>();
        counted->allocator = const_cast<CountingAllocator*>(&counter);
        MemoryEfficientImageProvider::GetImageAt(index)->copyTo(*counted);
        return counted;
    }
    const CountingAllocator counter;
};

TEST(SmartStitcherMemory, HoldsOnlyTheCapturesInUseNotTheWholeSeries)
{
    const CaptureSeries series =
        CutSeries(MakePage(cv::Size(200, 900), 11), cv::Size(200, 150), VerticalOffsets(16, 40));
    const TempFolder spill;
    // A budget of nothing: the store keeps only the two captures it read last.
    CountedStore counted(spill.Prefix(), 0);
    for (cv::Mat capture : DeepCopies(series.captures)) {
        counted.Add(capture);
    }
    const CountingAllocator& counter = counted.counter;
    Stitching::StitcherParameters parameters;
    parameters.maxThreads = 2;
    cv::Mat result;
    ASSERT_TRUE(
        Stitching::StitcherFactory::CreateSmartStitcher(parameters, 1)->Stitch(counted, result, nullptr, 0, 100, true));
    EXPECT_EQ(result.size(), series.CoveredPageRect().size());
    // The first capture, kept for the framing, and two per pair being correlated.
    EXPECT_LE(counter.peak.load(), 1 + 2 * parameters.maxThreads);
    EXPECT_EQ(counter.live.load(), 0);
}

}  // namespace
}  // namespace Testing
}  // namespace ZOLT
