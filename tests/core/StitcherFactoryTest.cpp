#include "SyntheticCaptures.h"

#include <ZOLT/Stitching.h>

#include <gtest/gtest.h>

using ZOLT::BasicImageProvider;
using ZOLT::Stitching::BasicBorderDetection;
using ZOLT::Stitching::BasicStitcher;
using ZOLT::Stitching::SmartStitcher;
using ZOLT::Stitching::StitcherFactory;
using ZOLT::Stitching::StitcherParameters;
using ZOLT::Stitching::Translation;

namespace {

ZOLT::Testing::CaptureSeries FramedSeries()
{
    ZOLT::Testing::WindowFrame frame;
    frame.titleBar = 12;
    frame.statusBar = 10;
    frame.leftPanel = 14;
    const cv::Mat page = ZOLT::Testing::MakePage(cv::Size(200, 700), 2, false);
    return ZOLT::Testing::CutSeries(page, cv::Size(200, 150), ZOLT::Testing::VerticalOffsets(4, 60), frame);
}

BasicImageProvider ProviderOf(const std::vector<cv::Mat>& captures)
{
    BasicImageProvider provider;
    for (cv::Mat capture : ZOLT::Testing::DeepCopies(captures)) {
        provider.Add(capture);
    }
    return provider;
}

}  // namespace

TEST(StitcherFactory, BuildsEachConfigurationAroundItsOwnDetector)
{
    const StitcherParameters parameters;
    EXPECT_NE(std::dynamic_pointer_cast<BasicStitcher>(StitcherFactory::CreateBasicStitcher(parameters)), nullptr);
    EXPECT_NE(std::dynamic_pointer_cast<SmartStitcher>(StitcherFactory::CreateSmartStitcher(parameters, 1)), nullptr);
    EXPECT_NE(std::dynamic_pointer_cast<BasicBorderDetection>(
                  StitcherFactory::CreateStitcherWithBasicBorderDetection(parameters, 10, 3)),
              nullptr);

    // Two products of the same call are separate objects: stitching with one leaves the
    // other's translations untouched.
    const auto first = StitcherFactory::CreateBasicStitcher(parameters);
    const auto second = StitcherFactory::CreateBasicStitcher(parameters);
    ASSERT_NE(first, second);
    const auto series = FramedSeries();
    BasicImageProvider provider = ProviderOf(series.captures);
    cv::Mat result;
    ASSERT_TRUE(first->Stitch(provider, result, nullptr, 0, 100, true));
    EXPECT_EQ(first->GetTranslations().size(), series.captures.size() - 1);
    EXPECT_TRUE(second->GetTranslations().empty());
}

TEST(StitcherFactory, BorderedStitcherAnswersWithTheInnerStitchersTranslations)
{
    StitcherParameters parameters;
    parameters.direction = 0;
    const auto series = FramedSeries();
    BasicImageProvider provider = ProviderOf(series.captures);
    const auto bordered = StitcherFactory::CreateStitcherWithBasicBorderDetection(parameters, 10, 3);
    cv::Mat result;
    ASSERT_TRUE(bordered->Stitch(provider, result, nullptr, 0, 100, true));

    // The decorator left the content parts in the provider; a plain basic stitcher over them
    // measures what the wrapped one measured.
    const auto inner = StitcherFactory::CreateBasicStitcher(parameters);
    cv::Mat content;
    ASSERT_TRUE(inner->Stitch(provider, content, nullptr, 0, 100, true));
    EXPECT_EQ(bordered->GetTranslations(), inner->GetTranslations());
    EXPECT_EQ(bordered->GetTranslations(), series.Translations());
    EXPECT_EQ(result.rows, series.captures[0].rows + 3 * 60);
    EXPECT_EQ(result.cols, series.captures[0].cols);
}

TEST(StitcherFactory, SmartStitcherTakesTheScaleFactorAndParameters)
{
    StitcherParameters parameters;
    parameters.direction = 0;
    const auto series = FramedSeries();
    BasicImageProvider provider = ProviderOf(series.captures);
    const auto smart = StitcherFactory::CreateSmartStitcher(parameters, 1);
    cv::Mat result;
    ASSERT_TRUE(smart->Stitch(provider, result, nullptr, 0, 100, true));
    EXPECT_EQ(result.rows, series.captures[0].rows + 3 * 60);
    EXPECT_EQ(smart->GetTranslations(), series.Translations());
}
