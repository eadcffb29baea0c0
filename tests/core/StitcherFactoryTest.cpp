// The factory's products: each configuration, with the arguments handed on.

#include "SyntheticCaptures.h"
#include "TestImages.h"

#include <ZOLT/Stitching.h>

#include <gtest/gtest.h>

namespace ZOLT {
namespace Stitching {
namespace {

TEST(StitcherFactory, EachConfigurationStitchesWithTheParametersItWasGiven)
{
    Testing::WindowFrame frame;
    frame.titleBar = 12;
    frame.statusBar = 10;
    frame.leftPanel = 14;
    const Testing::CaptureSeries series = Testing::CutSeries(Testing::MakePage(cv::Size(200, 700), 2, false),
                                                             cv::Size(200, 150), Testing::VerticalOffsets(4, 60), frame);
    StitcherParameters vertical;
    vertical.direction = 0;
    StitcherParameters horizontal;
    horizontal.direction = 1;
    using Make = std::function<std::shared_ptr<IStitcher>(const StitcherParameters&)>;
    const Make makers[] = {
        [](const StitcherParameters& p) { return StitcherFactory::CreateBasicStitcher(p); },
        [](const StitcherParameters& p) { return StitcherFactory::CreateSmartStitcher(p, 1); },
        [](const StitcherParameters& p) { return StitcherFactory::CreateStitcherWithBasicBorderDetection(p, 10, 3); }};
    cv::Mat result;
    for (const Make& make : makers) {
        const auto stitcher = make(vertical);
        BasicImageProvider provider = Testing::ProviderOf(Testing::DeepCopies(series.captures));
        ASSERT_TRUE(stitcher->Stitch(provider, result, nullptr, 0, 100, true));
        EXPECT_EQ(stitcher->GetTranslations(), series.Translations());
        EXPECT_EQ(result.size(), series.captures[0].size() + cv::Size(0, 3 * 60));
        // A second product is a separate object; looking only sideways it cannot follow the series.
        const auto sideways = make(horizontal);
        EXPECT_TRUE(sideways->GetTranslations().empty());
        BasicImageProvider again = Testing::ProviderOf(Testing::DeepCopies(series.captures));
        Testing::StderrOf([&] { sideways->Stitch(again, result, nullptr, 0, 100, true); });
        EXPECT_NE(sideways->GetTranslations(), series.Translations());
    }
    EXPECT_NE(std::dynamic_pointer_cast<BasicStitcher>(StitcherFactory::CreateBasicStitcher(vertical)), nullptr);
    // The thresholds reach the border detection, which crops the captures to their content.
    const auto bordered = StitcherFactory::CreateStitcherWithBasicBorderDetection(vertical, 10, 3);
    ASSERT_NE(std::dynamic_pointer_cast<BasicBorderDetection>(bordered), nullptr);
    EXPECT_NE(std::dynamic_pointer_cast<SmartStitcher>(StitcherFactory::CreateSmartStitcher(vertical, 1)), nullptr);
    BasicImageProvider provider = Testing::ProviderOf(Testing::DeepCopies(series.captures));
    ASSERT_TRUE(bordered->Stitch(provider, result, nullptr, 0, 100, true));
    EXPECT_EQ(provider.GetImageAt(0)->rows, series.viewportRect.height);
    EXPECT_LT(provider.GetImageAt(0)->cols, series.viewportRect.width);
    // The parameters reach the smart stitcher itself: with no difference above its threshold the
    // region is the whole window, which is stitched as the basic stitcher does.
    StitcherParameters blind = vertical;
    blind.differenceThreshold = 1021;
    BasicImageProvider whole = Testing::ProviderOf(series.captures);
    cv::Mat basic;
    ASSERT_TRUE(StitcherFactory::CreateSmartStitcher(blind, 1)->Stitch(whole, result, nullptr, 0, 100, true));
    ASSERT_TRUE(StitcherFactory::CreateBasicStitcher(vertical)->Stitch(whole, basic, nullptr, 0, 100, true));
    EXPECT_TRUE(Testing::SamePixels(result, basic));
}

}  // namespace
}  // namespace Stitching
}  // namespace ZOLT
