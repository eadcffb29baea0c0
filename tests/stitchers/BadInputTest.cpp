// Bad input to the basic and the smart stitcher: empty series, captures of the wrong channel
// count or depth, one odd capture in the middle of a series, huge translations from a detector,
// out-of-range parameters. Each row gives the designed outcome: a failed Stitch with its error
// lines and listener calls, a result, or the exception the design lets through.

#include "BadInput.h"
#include "SyntheticCaptures.h"
#include "TempFolder.h"

#include <ZOLT/Detection.h>
#include <ZOLT/Stitchers.h>

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

using ZOLT::BasicImageProvider;
using ZOLT::Stitching::BasicStitcher;
using ZOLT::Stitching::IStitcher;
using ZOLT::Stitching::ITranslationDetector;
using ZOLT::Stitching::PhaseCorrelationTranslationDetector;
using ZOLT::Stitching::SmartStitcher;
using ZOLT::Stitching::StitcherParameters;
using ZOLT::Stitching::Translation;
using ZOLT::Testing::BadInputCase;
using ZOLT::Testing::FixedDetector;
using ZOLT::Testing::Probe;
using ZOLT::Testing::Shape;
using ZOLT::Testing::Thrown;
using ZOLT::Testing::WithChannels;
using ZOLT::Testing::WithDepth;

namespace {

constexpr auto Plain = &ZOLT::Testing::ScrolledCaptures;
constexpr auto Framed = &ZOLT::Testing::FramedScrolledCaptures;
constexpr auto Each = &ZOLT::Testing::EachCapture;
using ZOLT::Testing::OddInTheMiddle;
constexpr auto Quiet = &ZOLT::Testing::QuietParameters;
constexpr auto With = &ZOLT::Testing::QuietParametersWith;

using Captures = std::vector<cv::Mat>;

std::shared_ptr<ITranslationDetector> Detector(const StitcherParameters& parameters = Quiet())
{
    return std::make_shared<PhaseCorrelationTranslationDetector>(parameters);
}

std::shared_ptr<ITranslationDetector> Fixed(std::vector<Translation> translations)
{
    return std::make_shared<FixedDetector>(std::move(translations));
}

/// `stitcher` over a provider holding `captures`, range 0 to 100 with completion reports; the
/// result text is the return value and the shape of the result.
std::function<void(Probe&)> Stitch(std::function<std::shared_ptr<IStitcher>()> stitcher, Captures captures,
                                   int progressStart = 0, int progressEnd = 100)
{
    return [=](Probe& probe) {
        // Fresh copies every run: a row may be run again, and nothing may carry over.
        BasicImageProvider provider;
        for (cv::Mat capture : ZOLT::Testing::DeepCopies(captures)) {
            provider.Add(capture);
        }
        cv::Mat result;
        const bool stitched = stitcher()->Stitch(provider, result, &probe.listener, progressStart, progressEnd, true);
        probe.result = (stitched ? "true " : "false ") + Shape(result);
    };
}

std::function<std::shared_ptr<IStitcher>()> Basic(std::shared_ptr<ITranslationDetector> detector = Detector())
{
    return [detector] { return std::make_shared<BasicStitcher>(detector, Quiet()); };
}

std::function<std::shared_ptr<IStitcher>()> Smart(int scaleFactor = 1, StitcherParameters parameters = Quiet(),
                                                  std::shared_ptr<ITranslationDetector> detector = nullptr)
{
    return [=] {
        return std::make_shared<SmartStitcher>(detector ? detector : Detector(parameters), parameters, scaleFactor);
    };
}

const Translation kDown(-8, 0);
const std::vector<Translation> kThreeDown = {kDown, kDown, kDown};
const int kHalfInt = INT_MAX / 2;

// What a complete basic stitch of the plain series reports: detection, result building, end.
const std::string kBasicDone = "progress 30, progress 60, progress 90, progress 90, progress 90, progress 93, "
                               "progress 96, progress 100, progress 100, complete 1";
const std::string kFixedDone =
    "progress 90, progress 90, progress 93, progress 96, progress 100, progress 100, complete 1";
const std::string kEightBitOnly = "Error: Only 8-bit captures can be stitched.\n";
const std::string kBuildFailed = "Error: Failed to build the Result image.\n";
const std::string kWrongSize = "The Ranges provided must be the same width and heigh as the source image\n";
const std::string kTooLarge =
    "Error: The resulting image would be too large.\nError: Failed to size the resulting image.\n" + kBuildFailed;

const std::vector<BadInputCase>& BasicCases()
{
    static const std::vector<BadInputCase> cases = {
        {"NoCaptures", Stitch(Basic(), {}), Thrown::Nothing, "false empty", "error 1, complete 0"},
        // One capture is the result as it is, even an empty one.
        {"OneEmptyCapture", Stitch(Basic(), {cv::Mat()}), Thrown::Nothing, "true empty", "progress 100, complete 1"},
        {"EmptyCaptures", Stitch(Basic(), {cv::Mat(), cv::Mat()}), Thrown::OpenCv},
        {"OneChannel", Stitch(Basic(), Each(Plain(), [](const cv::Mat& c) { return WithChannels(c, 1); })),
         Thrown::OpenCv},
        {"TwoChannels", Stitch(Basic(), Each(Plain(), [](const cv::Mat& c) { return WithChannels(c, 2); })),
         Thrown::OpenCv},
        {"ThreeChannels", Stitch(Basic(), Each(Plain(), [](const cv::Mat& c) { return WithChannels(c, 3); })),
         Thrown::Nothing, "true 72x64x3", kBasicDone},
        {"FiveChannels", Stitch(Basic(), Each(Plain(), [](const cv::Mat& c) { return WithChannels(c, 5); })),
         Thrown::OpenCv},
        {"SixteenBit", Stitch(Basic(), Each(Plain(), [](const cv::Mat& c) { return WithDepth(c, CV_16U); })),
         Thrown::Nothing, "false empty", "complete 0", kEightBitOnly},
        {"FloatSamples", Stitch(Basic(), Each(Plain(), [](const cv::Mat& c) { return WithDepth(c, CV_32F); })),
         Thrown::Nothing, "false empty", "complete 0", kEightBitOnly},
        {"OddSizeInTheMiddle", Stitch(Basic(), OddInTheMiddle(Plain(), cv::Mat(60, 64, CV_8UC4, cv::Scalar::all(9)))),
         Thrown::OpenCv, "", "progress 30"},
        // With the translations given, the odd capture is left out and the stitch goes on.
        {"OddSizeInTheMiddleWithKnownTranslations",
         Stitch(Basic(Fixed(kThreeDown)), OddInTheMiddle(Plain(), cv::Mat(60, 64, CV_8UC4, cv::Scalar::all(9)))),
         Thrown::Nothing, "true 72x64x4", kFixedDone, kWrongSize},
        {"EmptyInTheMiddleWithKnownTranslations", Stitch(Basic(Fixed(kThreeDown)), OddInTheMiddle(Plain(), cv::Mat())),
         Thrown::Nothing, "true 72x64x4", kFixedDone, kWrongSize},
        {"SixteenBitInTheMiddle", Stitch(Basic(), OddInTheMiddle(Plain(), WithDepth(Plain()[2], CV_16U))),
         Thrown::Nothing, "false empty",
         "progress 30, progress 60, progress 90, progress 90, progress 90, progress 93, complete 0",
         kEightBitOnly + kBuildFailed},
        {"ThreeChannelsInTheMiddle", Stitch(Basic(), OddInTheMiddle(Plain(), WithChannels(Plain()[2], 3))),
         Thrown::Nothing, "true 72x64x4", kBasicDone,
         "The source image must be of the same type as the target image\n"},
        {"TranslationsBeyondTheIntRange", Stitch(Basic(Fixed({{-kHalfInt, 0}, {-kHalfInt, 0}, kDown})), Plain()),
         Thrown::Nothing, "false empty", "progress 90, error 2, complete 0", kTooLarge},
        {"TranslationsTooFewForTheCaptures", Stitch(Basic(Fixed({kDown})), Plain()), Thrown::Nothing, "false empty",
         "progress 90, complete 0", "Error: Failed to detect translations.\n"},
        // A canvas of about 10^9 x 10^9 pixels: OpenCV cannot allocate it and says so.
        {"CanvasThatCannotBeAllocated", Stitch(Basic(Fixed({{-kHalfInt, -kHalfInt}, kDown, kDown})), Plain()),
         Thrown::OpenCv, "", "progress 90"},
        {"NoDetector", Stitch(Basic(nullptr), Plain()), Thrown::Nothing, "false empty", "complete 0",
         "Error: No translation detector to stitch with.\n"},
        // A capture store that cannot read a capture back: its error reaches the host unchanged.
        {"SpillFileLostBeforeTheStitch",
         [](Probe& probe) {
             const ZOLT::Testing::TempFolder folder;
             ZOLT::Stitching::MemoryEfficientImageProvider store(folder.Prefix(), 0);
             for (cv::Mat capture : Plain()) {
                 store.Add(capture);
             }
             for (const auto& file : ZOLT::Testing::FilesIn(folder.Prefix())) {
                 std::filesystem::remove(file);
             }
             cv::Mat result;
             probe.result = Basic()()->Stitch(store, result, &probe.listener, 0, 100, true) ? "true" : "false";
         },
         Thrown::RuntimeError, "", "", "", "", "Could not open or read file."},
        {"ReversedProgressRange", Stitch(Basic(Fixed(kThreeDown)), Plain(), 100, 0), Thrown::Nothing, "true 72x64x4",
         "progress 10, progress 10, progress 6, progress 3, progress 0, progress 0, complete 1"},
        {"ExtremeProgressRange", Stitch(Basic(Fixed(kThreeDown)), Plain(), INT_MIN, INT_MAX), Thrown::Nothing,
         "true 72x64x4",
         "progress 1717986917, progress 1717986944, progress 1861152512, progress 2004318080, "
         "progress 2147483647, progress 2147483647, complete 1"},
    };
    return cases;
}

// A smart stitch of the framed series: region and crops, the inner detection and result
// building, the framing.
const std::string kSmartDetected = "progress 20, progress 25, progress 46, progress 67, progress 88, progress 88";
const std::string kSmartStitched = kSmartDetected + ", progress 88, progress 90, progress 92, progress 95, progress 95";
const std::string kSmartDone = kSmartStitched + ", progress 100, complete 1";
const std::string kSmartStillFrame = kSmartDetected +
                                     ", progress 88, progress 90, progress 92, progress 95, warning 2, warning 3, "
                                     "progress 95, progress 100, complete 1";

const std::vector<BadInputCase>& SmartCases()
{
    static const std::vector<BadInputCase> cases = {
        {"NoCaptures", Stitch(Smart(), {}), Thrown::Nothing, "false empty", "error 1, complete 0"},
        {"OneEmptyCapture", Stitch(Smart(), {cv::Mat()}), Thrown::Nothing, "true empty", "progress 100, complete 1"},
        // Turned away before any work: no error code fits, so the failed completion is the report.
        {"EmptyCaptures", Stitch(Smart(), {cv::Mat(), cv::Mat()}), Thrown::Nothing, "false empty", "complete 0"},
        {"OneChannel", Stitch(Smart(), Each(Framed(), [](const cv::Mat& c) { return WithChannels(c, 1); })),
         Thrown::OpenCv, "", "progress 20, progress 25"},
        {"ThreeChannels", Stitch(Smart(), Each(Framed(), [](const cv::Mat& c) { return WithChannels(c, 3); })),
         Thrown::Nothing, "true 128x104x3", kSmartDone},
        {"FiveChannels", Stitch(Smart(), Each(Framed(), [](const cv::Mat& c) { return WithChannels(c, 5); })),
         Thrown::Nothing, "false empty", "complete 0"},
        {"SixteenBit", Stitch(Smart(), Each(Framed(), [](const cv::Mat& c) { return WithDepth(c, CV_16U); })),
         Thrown::Nothing, "false empty", "complete 0"},
        // A capture smaller than the region cannot be cropped: the view raises.
        {"SmallerCaptureInTheMiddle", Stitch(Smart(), OddInTheMiddle(Framed(), Framed()[2](cv::Rect(0, 0, 50, 50)))),
         Thrown::OpenCv, "", "progress 20"},
        {"EmptyInTheMiddle", Stitch(Smart(), OddInTheMiddle(Framed(), cv::Mat())), Thrown::OpenCv, "", "progress 20"},
        {"SixteenBitInTheMiddle", Stitch(Smart(), OddInTheMiddle(Framed(), WithDepth(Framed()[2], CV_16U))),
         Thrown::Nothing, "false empty", kSmartDetected + ", progress 88, progress 90, complete 0",
         kEightBitOnly + kBuildFailed},
        // With no margin absorbed, the framing samples its side colours from the row below the
        // capture: the pixel reader refuses.
        {"ScaleFactorZero", Stitch(Smart(0), Framed()), Thrown::InvalidArgument, "", kSmartStitched, "", "",
         "'position' is out of bounds."},
        {"ScaleFactorNegative", Stitch(Smart(-3), Framed()), Thrown::InvalidArgument, "", kSmartStitched, "", "",
         "'position' is out of bounds."},
        // Every margin absorbed: the whole windows are stitched, and their fixed frame holds them
        // together, so the result is the first capture with the zero-translation warnings.
        {"ScaleFactorHuge", Stitch(Smart(INT_MAX), Framed()), Thrown::Nothing, "true 104x104x4", kSmartStillFrame},
        {"MinimumBorderWidthNegative",
         Stitch(Smart(1, With([](StitcherParameters& p) { p.minimumBorderWidth = -20; })), Framed()),
         Thrown::Nothing, "true 128x104x4", kSmartDone},
        {"DifferenceThresholdNegative",
         Stitch(Smart(1, With([](StitcherParameters& p) { p.differenceThreshold = -1; })), Framed()),
         Thrown::Nothing, "true 104x104x4", kSmartStillFrame},
        {"DifferenceThresholdZero",
         Stitch(Smart(1, With([](StitcherParameters& p) { p.differenceThreshold = 0; })), Framed()),
         Thrown::Nothing, "true 128x104x4", kSmartDone},
        {"TranslationsBeyondTheIntRange",
         Stitch(Smart(1, Quiet(), Fixed({{-kHalfInt, 0}, {-kHalfInt, 0}, kDown})), Framed()), Thrown::Nothing,
         "false empty", "progress 20, progress 25, progress 88, error 2, complete 0", kTooLarge},
        {"ExtremeProgressRange", Stitch(Smart(1, Quiet(), Fixed(kThreeDown)), Framed(), INT_MIN, INT_MAX),
         Thrown::Nothing, "true 128x104x4",
         "progress -1288490189, progress -1073741824, progress 1632087572, progress 1632087552, "
         "progress 1732303488, progress 1832519424, progress 1932735283, progress 1932735283, "
         "progress 2147483647, complete 1"},
    };
    return cases;
}

class BasicStitcherBadInput : public testing::TestWithParam<BadInputCase> {};
class SmartStitcherBadInput : public testing::TestWithParam<BadInputCase> {};

TEST_P(BasicStitcherBadInput, GivesTheDesignedOutcome)
{
    ZOLT::Testing::ExpectOutcome(GetParam());
}

TEST_P(SmartStitcherBadInput, GivesTheDesignedOutcome)
{
    ZOLT::Testing::ExpectOutcome(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Table, BasicStitcherBadInput, testing::ValuesIn(BasicCases()),
                         [](const auto& info) { return ZOLT::Testing::CaseName(info.param); });
INSTANTIATE_TEST_SUITE_P(Table, SmartStitcherBadInput, testing::ValuesIn(SmartCases()),
                         [](const auto& info) { return ZOLT::Testing::CaseName(info.param); });

}  // namespace
