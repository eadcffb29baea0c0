// The factory's products: each configuration stitches, and gets the arguments it was given.

#include "SyntheticCaptures.h"
#include "TestImages.h"

#include <ZOLT/Stitching.h>

#include <gtest/gtest.h>

namespace ZOLT {
namespace Stitching {
namespace {

Testing::CaptureSeries FramedSeries()
{
    Testing::WindowFrame frame;
    frame.titleBar = 12;
    frame.statusBar = 10;
    frame.leftPanel = 25;
    return Testing::CutSeries(Testing::MakePage(cv::Size(200, 700), 2, false), cv::Size(200, 150),
                              Testing::VerticalOffsets(4, 60), frame);
}

cv::Mat StitchWith(IStitcher& stitcher, const std::vector<cv::Mat>& captures)
{
    BasicImageProvider provider = Testing::ProviderOf(Testing::DeepCopies(captures));
    cv::Mat result;
    EXPECT_TRUE(stitcher.Stitch(provider, result, nullptr, 0, 100, true));
    EXPECT_EQ(provider.GetImageAt(0)->size() != captures[0].size(), dynamic_cast<BorderDetection*>(&stitcher) != nullptr);
    return result;
}

TEST(StitcherFactory, EachConfigurationStitchesWithTheArgumentsItWasGiven)
{
    const Testing::CaptureSeries series = FramedSeries();
    StitcherParameters vertical;
    vertical.direction = 0;
    const std::shared_ptr<IStitcher> products[] = {
        StitcherFactory::CreateBasicStitcher(vertical), StitcherFactory::CreateSmartStitcher(vertical, 1),
        // With these thresholds the border detection crops every capture to its content.
        StitcherFactory::CreateStitcherWithBasicBorderDetection(vertical, 10, 3)};
    for (const std::shared_ptr<IStitcher>& stitcher : products) {
        EXPECT_EQ(StitchWith(*stitcher, series.captures).size(), series.captures[0].size() + cv::Size(0, 3 * 60));
        EXPECT_EQ(stitcher->GetTranslations(), series.Translations());
    }
    // The scale factor widens the border width the smart stitcher absorbs: 25 columns of panel
    // are a frame at scale 1 and part of the stitched region at scale 2.
    const auto detector = std::make_shared<PhaseCorrelationTranslationDetector>(vertical);
    SmartStitcher direct(detector, vertical, 2);
    const cv::Mat scaled = StitchWith(*StitcherFactory::CreateSmartStitcher(vertical, 2), series.captures);
    EXPECT_TRUE(Testing::SamePixels(scaled, StitchWith(direct, series.captures)));
    EXPECT_FALSE(Testing::SamePixels(scaled, StitchWith(*products[1], series.captures)));
}

}  // namespace
}  // namespace Stitching
}  // namespace ZOLT
