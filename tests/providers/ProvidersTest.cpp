// Capture stores: the in-memory one, and the memory-bounded one with its least-recently-used
// spilling, its spill files and their clean-up.

#include "TempFolder.h"
#include "TestImages.h"

#include <ZOLT/Providers.h>

#include <gtest/gtest.h>

#include <stdexcept>

namespace ZOLT {
namespace Testing {
namespace {

const cv::Size kCapture(64, 36);
const std::size_t kCaptureBytes = 64 * 36 * 4;

/// The store with its protected bookkeeping in reach, as a subclass may use it.
struct Store : Stitching::MemoryEfficientImageProvider {
    using MemoryEfficientImageProvider::MemoryEfficientImageProvider;
    using MemoryEfficientImageProvider::GetMemoryUsage;
    using MemoryEfficientImageProvider::IsMatLoaded;

    std::vector<cv::Mat> Fill(int count, std::uint64_t seed = 0)
    {
        std::vector<cv::Mat> added;
        for (int i = 0; i < count; ++i) {
            added.push_back(Noise(kCapture, seed + static_cast<std::uint64_t>(i)));
            Add(added.back());
        }
        return added;
    }

    std::vector<bool> Loaded()
    {
        std::vector<bool> loaded;
        for (std::size_t i = 0; i < Count(); ++i) {
            loaded.push_back(IsMatLoaded(i));
        }
        return loaded;
    }
};

TEST(BasicImageProvider, KeepsTheOrderAndRefusesIndicesPastTheEnd)
{
    BasicImageProvider provider;
    EXPECT_THROW(provider.GetLastImage(), std::out_of_range);
    cv::Mat first = Noise(kCapture, 1);
    cv::Mat second = Noise(kCapture, 2);
    provider.Add(first);
    provider.Add(second);
    EXPECT_EQ(provider.GetImageAt(0)->data, first.data);
    EXPECT_EQ(provider.GetLastImage()->data, second.data);
    EXPECT_THROW(provider.GetImageAt(2), std::out_of_range);
    EXPECT_THROW(provider.SetImageAt(2, first), std::out_of_range);
}

TEST(MemoryEfficientImageProvider, SpillsTheLeastRecentlyUsedCaptureAndReadsItBackEqual)
{
    TempFolder folder;
    Store store(folder.Prefix(), 3 * kCaptureBytes);
    const std::vector<cv::Mat> captures = store.Fill(3);
    EXPECT_TRUE(folder.Entries().empty());  // a sum equal to the budget spills nothing
    store.GetImageAt(0);                    // 0 is now the most recently used, 1 the least
    store.Fill(1, 3);
    EXPECT_EQ(store.Loaded(), (std::vector<bool>{true, false, true, true}));
    EXPECT_EQ(folder.Entries().size(), 1U);
    EXPECT_LE(store.GetMemoryUsage(), 3 * kCaptureBytes);
    EXPECT_TRUE(SamePixels(*store.GetImageAt(1), captures[1]));
    EXPECT_EQ(store.Loaded(), (std::vector<bool>{true, true, false, true}));  // the reload made room

    // Even a budget of nothing keeps the two newest captures loaded.
    TempFolder zeroFolder;
    Store zero(zeroFolder.Prefix(), 0);
    zero.Fill(5);
    EXPECT_EQ(zero.Loaded(), (std::vector<bool>{false, false, false, true, true}));
    EXPECT_EQ(zeroFolder.Entries().size(), 3U);
}

TEST(MemoryEfficientImageProvider, OddMatricesRoundTripThroughSpillFiles)
{
    TempFolder folder;
    Store store(folder.Prefix(), 0);
    cv::Mat wide = Noise(cv::Size(120, 7), 5, CV_16UC3);
    cv::Mat view = Noise(cv::Size(90, 50), 6)(cv::Rect(3, 4, 40, 30));  // not continuous
    cv::Mat grey = Noise(cv::Size(1, 33), 7, CV_8UC1);
    cv::Mat empty;
    for (cv::Mat* image : {&wide, &view, &grey, &empty}) {
        store.Add(*image);
    }
    store.Fill(2, 10);  // pushes all four out to disk
    ASSERT_EQ(store.Loaded(), (std::vector<bool>{false, false, false, false, true, true}));
    EXPECT_TRUE(SamePixels(*store.GetImageAt(0), wide));
    EXPECT_TRUE(SamePixels(*store.GetImageAt(1), view));
    EXPECT_TRUE(SamePixels(*store.GetImageAt(2), grey));
    EXPECT_TRUE(store.GetImageAt(3)->empty());
}

TEST(MemoryEfficientImageProvider, SpillFilesGoWithSetClearAndDestructionAndBadOnesThrow)
{
    TempFolder folder;
    {
        Store store(folder.Prefix(), 0);
        store.Fill(4);
        ASSERT_EQ(folder.Entries().size(), 2U);
        cv::Mat replacement = Noise(kCapture, 99);
        store.SetImageAt(0, replacement);
        EXPECT_TRUE(SamePixels(*store.GetImageAt(0), replacement));
        EXPECT_EQ(folder.Entries().size(), 2U);  // 0's file went, 2 was spilled to make room

        const std::string damaged = folder / folder.Entries().front();
        std::filesystem::resize_file(damaged, 30);
        EXPECT_THROW(
            {
                for (std::size_t i = 0; i < store.Count(); ++i) {
                    store.GetImageAt(i);
                }
            },
            std::runtime_error);
        store.Clear();
        EXPECT_TRUE(folder.Entries().empty());
        store.Fill(4);
    }
    EXPECT_TRUE(folder.Entries().empty());

    // A folder that cannot take spill files leaves every capture in memory.
    Store missing(folder.Prefix() + "missing/", 0);
    const std::vector<cv::Mat> captures = missing.Fill(4);
    EXPECT_EQ(missing.Loaded(), std::vector<bool>(4, true));
    EXPECT_TRUE(SamePixels(*missing.GetImageAt(0), captures[0]));
}

}  // namespace
}  // namespace Testing
}  // namespace ZOLT
