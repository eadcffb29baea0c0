// Bad input to border detection, through the decorated stitch and through extraction and
// re-application on their own: each row gives the designed outcome (the notices and error lines,
// a plain stitch after a failed extraction, a failed Stitch, or the OpenCV exception the design
// lets through), never a crash.

#include "BadInput.h"
#include "SyntheticCaptures.h"

#include <ZOLT/Borders.h>
#include <ZOLT/Factory.h>
#include <ZOLT/Providers.h>
#include <ZOLT/Stitchers.h>

#include <gtest/gtest.h>

#include <climits>

using ZOLT::BasicImageProvider;
using ZOLT::Stitching::BasicBorderDetection;
using ZOLT::Stitching::BasicStitcher;
using ZOLT::Stitching::IStitcher;
using ZOLT::Stitching::StitcherFactory;
using ZOLT::Stitching::StitcherParameters;
using ZOLT::Stitching::Translation;
using ZOLT::Testing::BadInputCase;
using ZOLT::Testing::Probe;
using ZOLT::Testing::Shape;
using ZOLT::Testing::Thrown;
using ZOLT::Testing::WithChannels;
using ZOLT::Testing::WithDepth;

namespace {

constexpr auto Framed = &ZOLT::Testing::FramedScrolledCaptures;
constexpr auto Each = &ZOLT::Testing::EachCapture;
using ZOLT::Testing::OddInTheMiddle;
constexpr auto Quiet = &ZOLT::Testing::QuietParameters;

using Captures = std::vector<cv::Mat>;

/// The factory's bordered stitcher with the tool's thresholds unless given.
std::function<std::shared_ptr<IStitcher>()> Bordered(unsigned int changeThreshold = 24,
                                                     unsigned int neighborThreshold = 3)
{
    return [=] {
        return StitcherFactory::CreateStitcherWithBasicBorderDetection(Quiet(), changeThreshold, neighborThreshold);
    };
}

/// Border detection around a basic stitcher whose detector answers with `translations`.
std::function<std::shared_ptr<IStitcher>()> BorderedWithTranslations(std::vector<Translation> translations)
{
    return [=] {
        auto detector = std::make_shared<ZOLT::Testing::FixedDetector>(translations);
        return std::make_shared<BasicBorderDetection>(std::make_shared<BasicStitcher>(detector, Quiet()), 24, 3);
    };
}

std::function<void(Probe&)> Stitch(std::function<std::shared_ptr<IStitcher>()> stitcher, Captures captures)
{
    return [=](Probe& probe) {
        // Fresh copies every run: a row may be run again, and nothing may carry over.
        BasicImageProvider provider;
        for (cv::Mat capture : ZOLT::Testing::DeepCopies(captures)) {
            provider.Add(capture);
        }
        cv::Mat result;
        const bool stitched = stitcher()->Stitch(provider, result, &probe.listener, 0, 100, true);
        probe.result = (stitched ? "true " : "false ") + Shape(result);
    };
}

/// Borders extracted from the framed series, then re-applied to `image`.
std::function<void(Probe&)> Apply(cv::Mat image)
{
    return [=](Probe& probe) {
        BasicImageProvider provider;
        for (cv::Mat capture : Framed()) {
            provider.Add(capture);
        }
        BasicBorderDetection detection(nullptr, 24, 3);
        if (!detection.ExtractBorders(provider)) {
            probe.result = "not extracted";
            return;
        }
        cv::Mat target = image.clone();
        const bool applied = detection.ApplyBorders(target);
        probe.result = (applied ? "true " : "false ") + Shape(target);
    };
}

const int kHalfInt = INT_MAX / 2;

// A complete stitch of the series' content parts (or of the whole windows after a failed
// extraction): detection, result building, end.
const std::string kDone = "progress 30, progress 60, progress 90, progress 90, progress 90, progress 93, "
                          "progress 96, progress 100, complete 1";
const std::string kStillFrame = "progress 30, progress 60, progress 90, progress 90, progress 90, progress 93, "
                                "progress 96, progress 100, warning 2, warning 3, complete 1";
const std::string kNoBox = "No content box was found.\n";
const std::string kEightBitOnly = "Error: Only 8-bit captures can be stitched.\n";
const std::string kStitchFailed = "Error: Failed to build the Result image.\nError: Failed to stitch images.\n";
const std::string kNoContentPixel = "Error: Failed to find top or left content boundary for image with index 1.\n";

const std::vector<BadInputCase>& Cases()
{
    static const std::vector<BadInputCase> cases = {
        {"NoCaptures", Stitch(Bordered(), {}), Thrown::Nothing, "false empty", "error 1, complete 0",
         "Error: Empty image list when extracting common borders.\nError: Failed to stitch images.\n"},
        {"OneCapture", Stitch(Bordered(), {Framed()[0]}), Thrown::Nothing, "true 104x104x4",
         "progress 100, complete 1", "Error: Not enough images to identify a content box.\n", kNoBox},
        {"EmptyCaptures", Stitch(Bordered(), {cv::Mat(), cv::Mat()}), Thrown::OpenCv},
        {"OneChannel", Stitch(Bordered(), Each(Framed(), [](const cv::Mat& c) { return WithChannels(c, 1); })),
         Thrown::OpenCv},
        {"TwoChannels", Stitch(Bordered(), Each(Framed(), [](const cv::Mat& c) { return WithChannels(c, 2); })),
         Thrown::OpenCv},
        {"ThreeChannels", Stitch(Bordered(), Each(Framed(), [](const cv::Mat& c) { return WithChannels(c, 3); })),
         Thrown::Nothing, "true 128x104x3", kDone},
        {"FiveChannels", Stitch(Bordered(), Each(Framed(), [](const cv::Mat& c) { return WithChannels(c, 5); })),
         Thrown::OpenCv},
        // Neither the content box nor the stitch takes such samples: the box search says so, the
        // plain stitch fails.
        {"SixteenBit", Stitch(Bordered(), Each(Framed(), [](const cv::Mat& c) { return WithDepth(c, CV_16U); })),
         Thrown::Nothing, "false empty", "complete 0",
         "Error: Captures must be 8-bit to identify a content box.\n" + kEightBitOnly +
             "Error: Failed to stitch images.\n",
         kNoBox},
        {"OddSizeInTheMiddle", Stitch(Bordered(), OddInTheMiddle(Framed(), Framed()[2](cv::Rect(0, 0, 90, 90)))),
         Thrown::OpenCv},
        {"EmptyInTheMiddle", Stitch(Bordered(), OddInTheMiddle(Framed(), cv::Mat())), Thrown::OpenCv},
        {"OneChannelInTheMiddle", Stitch(Bordered(), OddInTheMiddle(Framed(), WithChannels(Framed()[2], 1))),
         Thrown::OpenCv},
        // Without a content box the whole windows are stitched; their fixed frame holds them
        // together, so every translation is zero and the odd capture is never even read.
        {"SixteenBitInTheMiddle", Stitch(Bordered(), OddInTheMiddle(Framed(), WithDepth(Framed()[2], CV_16U))),
         Thrown::Nothing, "true 104x104x4", kStillFrame, "Error: Captures must be 8-bit to identify a content box.\n",
         kNoBox},
        // Thresholds no difference can pass: no content box, so the whole windows are stitched,
        // and their fixed frame holds them together.
        {"ChangeThresholdHuge", Stitch(Bordered(UINT_MAX, 3), Framed()), Thrown::Nothing, "true 104x104x4",
         kStillFrame, kNoContentPixel, kNoBox},
        {"NeighborThresholdHuge", Stitch(Bordered(24, UINT_MAX), Framed()), Thrown::Nothing, "true 104x104x4",
         kStillFrame, kNoContentPixel, kNoBox},
        {"ThresholdsZero", Stitch(Bordered(0, 0), Framed()), Thrown::Nothing, "true 128x104x4", kDone},
        {"SinglePixelCaptures",
         Stitch(Bordered(),
                {cv::Mat(1, 1, CV_8UC4, cv::Scalar(0, 0, 0, 255)),
                 cv::Mat(1, 1, CV_8UC4, cv::Scalar(255, 255, 255, 255))}),
         Thrown::Nothing, "true 1x1x4", "progress 90, progress 90, progress 90, progress 100, warning 2, complete 1",
         "Error: Image too small to remove border.\nError: Nearest neighbor detection failed.\n" + kNoContentPixel,
         kNoBox},
        {"TranslationsBeyondTheIntRange",
         Stitch(BorderedWithTranslations({{-kHalfInt, 0}, {-kHalfInt, 0}, {-8, 0}}), Framed()), Thrown::Nothing,
         "false empty", "progress 90, error 2, complete 0",
         "Error: The resulting image would be too large.\nError: Failed to size the resulting image.\n" +
             kStitchFailed},
        {"NoWrappedStitcher",
         [](Probe& probe) {
             BasicImageProvider provider;
             for (cv::Mat capture : Framed()) {
                 provider.Add(capture);
             }
             cv::Mat result;
             BasicBorderDetection detection(nullptr, 24, 3);
             probe.result = detection.Stitch(provider, result, &probe.listener, 0, 100, true) ? "true" : "false";
         },
         Thrown::Nothing, "false", "complete 0", "Error: No stitcher to decorate.\n"},
        {"ApplyToAnEmptyImage", Apply(cv::Mat()), Thrown::Nothing, "false empty", "", "Error: Input image is empty.\n"},
        {"ApplyToAnotherType", Apply(cv::Mat(48, 64, CV_8UC3, cv::Scalar::all(5))), Thrown::Nothing, "false 48x64x3",
         "", "Error: Failed to apply borders.\n"},
        // The frame grows by the strips whatever the content's size; the side strips keep the
        // content box's height and may reach into the bottom strip's rows.
        {"ApplyToShorterContent", Apply(cv::Mat(10, 64, CV_8UC4, cv::Scalar::all(5))), Thrown::Nothing,
         "true 87x143x4"},
        // The top and bottom strips keep the first capture's width: content narrower than the
        // content box cannot take them.
        {"ApplyToNarrowerContent", Apply(cv::Mat(48, 10, CV_8UC4, cv::Scalar::all(5))), Thrown::OpenCv},
    };
    return cases;
}

class BorderDetectionBadInput : public testing::TestWithParam<BadInputCase> {};

TEST_P(BorderDetectionBadInput, GivesTheDesignedOutcome)
{
    ZOLT::Testing::ExpectOutcome(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Table, BorderDetectionBadInput, testing::ValuesIn(Cases()),
                         [](const auto& info) { return ZOLT::Testing::CaseName(info.param); });

}  // namespace
