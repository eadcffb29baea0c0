// Whole stitches with the phase-correlation detector on synthetic scrolling series.

#include "RecordingListener.h"
#include "SyntheticCaptures.h"
#include "TestImages.h"

#include <ZOLT/Detection.h>
#include <ZOLT/Stitchers.h>

#include <gtest/gtest.h>

namespace ZOLT {
namespace Stitching {
namespace {

TEST(BasicStitcherEndToEnd, SeriesScrolledDownUpOrSidewaysGiveTheirPagePart)
{
    const cv::Size viewport(320, 240);
    StitcherParameters twoWorkers;
    twoWorkers.maxThreads = 2;
    StitcherParameters sideways;
    sideways.direction = 1;
    const struct {
        const char* name;
        Testing::CaptureSeries series;
        StitcherParameters parameters;
    } cases[] = {
        {"down by uneven steps",
         Testing::CutSeries(Testing::MakePage(cv::Size(320, 1400), 21), viewport,
                            Testing::OffsetsFromSteps({0, 20}, {{0, 90}, {0, 120}, {0, 60}, {0, 150}, {0, 100}, {0, 75},
                                                                {0, 130}, {0, 95}, {0, 80}, {0, 110}, {0, 70}})),
         {}},
        {"up, two workers",
         Testing::CutSeries(Testing::MakePage(cv::Size(320, 1400), 22), viewport,
                            Testing::VerticalOffsets(12, -95, cv::Point(0, 1400 - 240 - 30))),
         twoWorkers},
        {"sideways",
         Testing::CutSeries(Testing::MakePage(cv::Size(1600, 280), 23), viewport,
                            Testing::HorizontalOffsets(12, 105, cv::Point(15, 20))),
         sideways},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.name);
        const std::vector<cv::Mat> originals = Testing::DeepCopies(example.series.captures);
        BasicImageProvider provider = Testing::ProviderOf(example.series.captures);
        BasicStitcher stitcher(std::make_shared<PhaseCorrelationTranslationDetector>(example.parameters),
                               example.parameters);
        Testing::RecordingListener listener;
        cv::Mat result;
        ASSERT_TRUE(stitcher.Stitch(provider, result, &listener, 0, 100, true));
        EXPECT_EQ(stitcher.GetTranslations(), example.series.Translations());
        EXPECT_TRUE(Testing::SamePixels(result, example.series.CoveredPage()));
        EXPECT_TRUE(listener.Errors().empty());
        EXPECT_EQ(listener.Completions(), std::vector<bool>{true});
        // The covered parts were cleared on private copies: the provider's captures are untouched.
        for (std::size_t i = 0; i < originals.size(); ++i) {
            EXPECT_TRUE(Testing::SamePixels(*provider.GetImageAt(i), originals[i])) << "capture " << i;
        }
    }
}

}  // namespace
}  // namespace Stitching
}  // namespace ZOLT
