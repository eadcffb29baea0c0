#include "BasicStitcherAccess.h"
#include "RecordingListener.h"
#include "StitcherFakes.h"
#include "SyntheticCaptures.h"

#include <ZOLT/Stitchers.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace ZOLT {
namespace Stitching {
namespace {

using Testing::FixedTranslationDetector;
using Testing::ReadRecordingProvider;
using Testing::RecordingListener;

const std::string kDetectionFailed = "Error: Failed to detect translations.\n";
const std::string kBuildFailed = "Error: Failed to build the Result image.\n";
const std::string kNotEightBit = "Error: Only 8-bit captures can be stitched.\n";

/// A capture of one colour; each shade gives a colour no other shade gives.
cv::Mat Uniform(int rows, int cols, int shade, int type = CV_8UC4)
{
    return cv::Mat(rows, cols, type, cv::Scalar(shade, 255 - shade, 100, 255));
}

std::vector<cv::Mat> UniformCaptures(int count, int rows, int cols, int type = CV_8UC4)
{
    std::vector<cv::Mat> captures;
    for (int i = 0; i < count; ++i) {
        captures.push_back(Uniform(rows, cols, 40 + 50 * i, type));
    }
    return captures;
}

BasicImageProvider ProviderOf(const std::vector<cv::Mat>& captures)
{
    BasicImageProvider provider;
    for (cv::Mat capture : captures) {
        provider.Add(capture);
    }
    return provider;
}

bool SamePixels(const cv::Mat& first, const cv::Mat& second)
{
    return first.size() == second.size() && first.type() == second.type() &&
           cv::countNonZero(cv::Mat(first != second).reshape(1)) == 0;
}

/// A basic stitcher on a fixed list, with the detector kept for inspection.
struct Rig {
    explicit Rig(std::vector<Translation> translations, StitcherParameters parameters = StitcherParameters())
        : detector(std::make_shared<FixedTranslationDetector>(std::move(translations))),
          stitcher(detector, parameters)
    {
    }

    std::shared_ptr<FixedTranslationDetector> detector;
    BasicStitcher stitcher;
};

/// The outcome of one Stitch call and what it wrote to the standard error stream.
struct Outcome {
    bool success = false;
    std::string errors;
};

Outcome StitchInto(BasicStitcher& stitcher, IImageProvider& provider, cv::Mat& result, IStitcherListener* listener,
                   int progressStart = 0, int progressEnd = 100, bool reportCompletion = true)
{
    testing::internal::CaptureStderr();
    Outcome outcome;
    outcome.success = stitcher.Stitch(provider, result, listener, progressStart, progressEnd, reportCompletion);
    outcome.errors = testing::internal::GetCapturedStderr();
    return outcome;
}

/// OnComplete came exactly once, as the last call, with `success`.
void ExpectCompletedLast(const RecordingListener& listener, bool success)
{
    ASSERT_EQ(listener.Completions(), std::vector<bool>{success});
    EXPECT_EQ(listener.Calls().back(), success ? "complete 1" : "complete 0");
}

TEST(BasicStitcherSizing, WorkedExamplesGiveSizeAndPlacement)
{
    BasicImageProvider provider = ProviderOf(UniformCaptures(3, 100, 50));
    struct Case {
        std::vector<Translation> translations;
        cv::Size size;
        cv::Rect placement;
    };
    const Case cases[] = {
        {{Translation(-30, 0), Translation(-30, 0)}, cv::Size(50, 160), cv::Rect(0, 0, 50, 100)},
        {{Translation(20, 0), Translation(-50, 0)}, cv::Size(50, 150), cv::Rect(20, 0, 50, 100)},
        {{Translation(0, 15), Translation(0, -40)}, cv::Size(90, 100), cv::Rect(0, 15, 50, 100)},
        {{Translation(-10, -5), Translation(30, 8)}, cv::Size(58, 130), cv::Rect(20, 3, 50, 100)},
    };
    for (const Case& example : cases) {
        Rig rig(example.translations);
        cv::Mat result;
        ASSERT_TRUE(StitchInto(rig.stitcher, provider, result, nullptr).success);
        cv::Rect placement;
        cv::Size size;
        ASSERT_TRUE(TestAccess<BasicStitcher>::CalcResultImage(rig.stitcher, placement, size));
        EXPECT_EQ(size, example.size);
        EXPECT_EQ(result.size(), example.size);
        EXPECT_EQ(placement, example.placement);
    }
}

TEST(BasicStitcherSizing, EachCaptureAddsOnlyWhatIsBeyondTheCut)
{
    // (+20, 0) then (-50, 0) on 100 x 50: capture 0 at row 20, capture 1 at row 0, capture 2 at
    // row 50. Capture 1 (upward) loses rows 60..99 of its own, capture 2 (downward) rows 0..25.
    const std::vector<cv::Mat> captures = UniformCaptures(3, 100, 50);
    BasicImageProvider provider = ProviderOf(captures);
    Rig rig({Translation(20, 0), Translation(-50, 0)});
    cv::Mat result;
    ASSERT_TRUE(StitchInto(rig.stitcher, provider, result, nullptr).success);

    cv::Mat expected(150, 50, CV_8UC4);
    captures[1].rowRange(0, 60).copyTo(expected.rowRange(0, 60));
    captures[0].rowRange(40, 56).copyTo(expected.rowRange(60, 76));
    captures[2].rowRange(26, 100).copyTo(expected.rowRange(76, 150));
    EXPECT_TRUE(SamePixels(result, expected));
}

TEST(BasicStitcherSizing, AreasNoCaptureCoversStayTransparent)
{
    const std::vector<cv::Mat> captures = UniformCaptures(2, 40, 30);
    BasicImageProvider provider = ProviderOf(captures);
    RecordingListener listener;
    Rig rig({Translation(-10, -5)});
    cv::Mat result;
    ASSERT_TRUE(StitchInto(rig.stitcher, provider, result, &listener).success);
    ASSERT_EQ(result.size(), cv::Size(35, 50));
    EXPECT_EQ(result.at<cv::Vec4b>(49, 0), cv::Vec4b(0, 0, 0, 0));
    EXPECT_EQ(result.at<cv::Vec4b>(0, 34), cv::Vec4b(0, 0, 0, 0));
    EXPECT_EQ(result.at<cv::Vec4b>(0, 0), captures[0].at<cv::Vec4b>(0, 0));
    EXPECT_EQ(result.at<cv::Vec4b>(49, 34), captures[1].at<cv::Vec4b>(0, 0));
    // The diagonal is warned, after the success.
    EXPECT_EQ(listener.Warnings(), std::vector<IStitcherListener::StitcherWarningCodes>{IStitcherListener::DiagonalTranslation});
    EXPECT_EQ(listener.Calls().back(), "complete 1");
}

TEST(BasicStitcherProgress, DetectionGetsNineTenthsThenOneReportPerTranslation)
{
    BasicImageProvider provider = ProviderOf(UniformCaptures(4, 60, 40));
    Rig rig({Translation(-20, 0), Translation(-20, 0), Translation(-20, 0)});
    RecordingListener listener;
    cv::Mat result;
    ASSERT_TRUE(StitchInto(rig.stitcher, provider, result, &listener).success);
    EXPECT_EQ(rig.detector->ranges, (std::vector<std::pair<int, int>>{{0, 90}}));
    // The detector's own report, the three passes, the end of building and the final report.
    EXPECT_EQ(listener.Progress(), (std::vector<int>{90, 90, 93, 96, 100, 100}));
    ExpectCompletedLast(listener, true);

    RecordingListener shifted;
    ASSERT_TRUE(StitchInto(rig.stitcher, provider, result, &shifted, 10, 20, false).success);
    EXPECT_EQ(rig.detector->ranges.back(), std::make_pair(10, 19));
    EXPECT_EQ(shifted.Progress(), (std::vector<int>{19, 19, 19, 19, 20}));
    EXPECT_TRUE(shifted.Completions().empty());
}

/// Stitches 1 + translations.size() uniform captures and returns the warnings reported.
std::vector<IStitcherListener::StitcherWarningCodes> WarningsFor(const std::vector<Translation>& translations)
{
    BasicImageProvider provider = ProviderOf(UniformCaptures(static_cast<int>(translations.size()) + 1, 30, 20));
    Rig rig(translations);
    RecordingListener listener;
    cv::Mat result;
    EXPECT_TRUE(StitchInto(rig.stitcher, provider, result, &listener).success);
    return listener.Warnings();
}

TEST(BasicStitcherWarnings, ZeroShareAndRunsAgainstTheirLimits)
{
    using Codes = IStitcherListener;
    using Warnings = std::vector<Codes::StitcherWarningCodes>;
    const Translation zero(0, 0);
    const Translation down(-5, 0);
    // 3 of 10 is exactly 30 %: not above the limit.
    EXPECT_EQ(WarningsFor({zero, down, zero, down, zero, down, down, down, down, down}), Warnings{});
    // 4 of 10 is.
    EXPECT_EQ(WarningsFor({zero, down, zero, down, zero, down, zero, down, down, down}),
              Warnings{Codes::TooManyZeroTranslations});
    // A run of two is tolerated, a run of three is not.
    EXPECT_EQ(WarningsFor({down, down, zero, zero, down, down, down, down, down, down}), Warnings{});
    EXPECT_EQ(WarningsFor({down, down, zero, zero, zero, down, down, down, down, down}),
              Warnings{Codes::TooManyConsecutiveZeroTranslations});
    // All three, in their order.
    EXPECT_EQ(WarningsFor({zero, zero, zero, Translation(-3, 2)}),
              (Warnings{Codes::TooManyZeroTranslations, Codes::TooManyConsecutiveZeroTranslations,
                        Codes::DiagonalTranslation}));
}

TEST(BasicStitcherWarnings, LimitsComeFromTheParameters)
{
    StitcherParameters parameters;
    parameters.maxZeroTranslationsPercent = 50;
    parameters.maxConsecutiveZeroTranslations = 0;
    BasicImageProvider provider = ProviderOf(UniformCaptures(3, 30, 20));
    Rig rig({Translation(0, 0), Translation(-4, 0)}, parameters);
    RecordingListener listener;
    cv::Mat result;
    ASSERT_TRUE(StitchInto(rig.stitcher, provider, result, &listener).success);
    EXPECT_EQ(listener.Warnings(),
              std::vector<IStitcherListener::StitcherWarningCodes>{IStitcherListener::TooManyConsecutiveZeroTranslations});
}

TEST(BasicStitcherWarnings, IdenticalCapturesGiveCaptureZeroAlone)
{
    const std::vector<cv::Mat> captures = UniformCaptures(3, 30, 20);
    ReadRecordingProvider provider(captures);
    Rig rig({Translation(0, 0), Translation(0, 0)});
    RecordingListener listener;
    cv::Mat result;
    ASSERT_TRUE(StitchInto(rig.stitcher, provider, result, &listener).success);
    EXPECT_TRUE(SamePixels(result, captures[0]));
    EXPECT_EQ(listener.Warnings(),
              std::vector<IStitcherListener::StitcherWarningCodes>{IStitcherListener::TooManyZeroTranslations});
    // Captures behind zero translations are never read.
    EXPECT_EQ(std::count(provider.reads.begin(), provider.reads.end(), 1u), 0);
    EXPECT_EQ(std::count(provider.reads.begin(), provider.reads.end(), 2u), 0);
}

TEST(BasicStitcherListener, NullListenerStitchesSilently)
{
    const std::vector<cv::Mat> captures = UniformCaptures(3, 30, 20);
    BasicImageProvider provider = ProviderOf(captures);
    Rig rig({Translation(0, 0), Translation(-10, -3)});
    cv::Mat result;
    const Outcome outcome = StitchInto(rig.stitcher, provider, result, nullptr);
    EXPECT_TRUE(outcome.success);
    EXPECT_EQ(outcome.errors, "");
    EXPECT_EQ(result.size(), cv::Size(23, 40));
}

TEST(BasicStitcherListener, SingleCaptureIsTheResult)
{
    cv::Mat capture = Uniform(30, 20, 7);
    BasicImageProvider provider;
    provider.Add(capture);
    Rig rig({Translation(-1, 0)});
    RecordingListener listener;
    cv::Mat result;
    ASSERT_TRUE(StitchInto(rig.stitcher, provider, result, &listener, 5, 50).success);
    EXPECT_EQ(result.data, capture.data);
    EXPECT_TRUE(rig.detector->ranges.empty());
    EXPECT_EQ(listener.Calls(), (std::vector<std::string>{"progress 50", "complete 1"}));

    RecordingListener cancelling;
    cancelling.progressAnswer = [](int, std::size_t) { return false; };
    cv::Mat cancelledResult;
    const Outcome outcome = StitchInto(rig.stitcher, provider, cancelledResult, &cancelling, 5, 50);
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.errors, "");
    EXPECT_EQ(cancelledResult.data, capture.data);
    EXPECT_EQ(cancelling.Calls(), (std::vector<std::string>{"progress 50", "error 4", "complete 0"}));

    RecordingListener quiet;
    EXPECT_TRUE(StitchInto(rig.stitcher, provider, result, &quiet, 0, 1, false).success);
    EXPECT_EQ(quiet.Calls(), std::vector<std::string>{"progress 1"});
}

TEST(BasicStitcherListener, EmptyProviderReportsNoImages)
{
    BasicImageProvider provider;
    Rig rig(std::vector<Translation>{});
    RecordingListener listener;
    cv::Mat result = Uniform(2, 2, 1);
    const cv::Mat before = result;
    const Outcome outcome = StitchInto(rig.stitcher, provider, result, &listener);
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.errors, "");
    EXPECT_EQ(result.data, before.data);
    EXPECT_EQ(listener.Calls(), (std::vector<std::string>{"error 1", "complete 0"}));

    RecordingListener quiet;
    EXPECT_FALSE(StitchInto(rig.stitcher, provider, result, &quiet, 0, 100, false).success);
    EXPECT_EQ(quiet.Calls(), std::vector<std::string>{"error 1"});
}

TEST(BasicStitcherListener, CancelledDetectionIsReportedOnceByTheDetector)
{
    BasicImageProvider provider = ProviderOf(UniformCaptures(3, 30, 20));
    Rig rig({Translation(-5, 0), Translation(-5, 0)});
    RecordingListener listener;
    listener.progressAnswer = [](int, std::size_t) { return false; };
    cv::Mat result;
    const Outcome outcome = StitchInto(rig.stitcher, provider, result, &listener);
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.errors, kDetectionFailed);
    EXPECT_TRUE(result.empty());
    EXPECT_EQ(listener.Calls(), (std::vector<std::string>{"progress 90", "error 4", "complete 0"}));
    EXPECT_TRUE(rig.stitcher.GetTranslations().empty());
}

TEST(BasicStitcherListener, CancelWhileBuildingLeavesTheResultAlone)
{
    BasicImageProvider provider = ProviderOf(UniformCaptures(4, 30, 20));
    Rig rig({Translation(-5, 0), Translation(-5, 0), Translation(-5, 0)});
    cv::Mat result = Uniform(2, 2, 1);
    const cv::Mat before = result;

    RecordingListener atPass;
    atPass.progressAnswer = [](int position, std::size_t) { return position != 93; };
    Outcome outcome = StitchInto(rig.stitcher, provider, result, &atPass);
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.errors, kBuildFailed);
    EXPECT_EQ(atPass.Calls(),
              (std::vector<std::string>{"progress 90", "progress 90", "progress 93", "error 4", "complete 0"}));

    // A false answer to the last report of building fails without an error report.
    RecordingListener atEnd;
    atEnd.progressAnswer = [](int position, std::size_t) { return position != 100; };
    outcome = StitchInto(rig.stitcher, provider, result, &atEnd);
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.errors, kBuildFailed);
    EXPECT_TRUE(atEnd.Errors().empty());
    EXPECT_TRUE(atEnd.Warnings().empty());
    ExpectCompletedLast(atEnd, false);
    EXPECT_EQ(result.data, before.data);

    RecordingListener quiet;
    quiet.progressAnswer = atPass.progressAnswer;
    EXPECT_FALSE(StitchInto(rig.stitcher, provider, result, &quiet, 0, 100, false).success);
    EXPECT_TRUE(quiet.Completions().empty());
    EXPECT_EQ(quiet.Errors(), std::vector<IStitcherListener::StitcherErrorCodes>{IStitcherListener::Cancelled});
}

TEST(BasicStitcherListener, TheFinalReportsIgnoreTheAnswerAfterSuccess)
{
    BasicImageProvider provider = ProviderOf(UniformCaptures(2, 30, 20));
    Rig rig({Translation(-5, 0)});
    RecordingListener listener;
    // The second report of progressEnd comes from Stitch after building has succeeded.
    listener.progressAnswer = [](int position, std::size_t call) { return position != 100 || call < 3; };
    cv::Mat result;
    EXPECT_TRUE(StitchInto(rig.stitcher, provider, result, &listener).success);
    EXPECT_EQ(listener.Progress(), (std::vector<int>{90, 90, 100, 100}));
    ExpectCompletedLast(listener, true);
}

TEST(BasicStitcherFailures, OversizedResultFailsTheSizing)
{
    BasicImageProvider provider = ProviderOf(UniformCaptures(3, 30, 20));
    Rig rig({Translation(-2000000000, 0), Translation(-2000000000, 0)});
    RecordingListener listener;
    cv::Mat result;
    const Outcome outcome = StitchInto(rig.stitcher, provider, result, &listener);
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.errors,
              "Error: The resulting image would be too large.\nError: Failed to size the resulting image.\n" +
                  kBuildFailed);
    EXPECT_EQ(listener.Calls(), (std::vector<std::string>{"progress 90", "error 2", "complete 0"}));
    EXPECT_TRUE(result.empty());
}

/// Reaches the protected result building without a detection before it.
class BuildingStitcher : public BasicStitcher {
public:
    using BasicStitcher::BasicStitcher;
    using BasicStitcher::BuildResultImage;
};

TEST(BasicStitcherFailures, BuildingWithoutTranslationsFailsTheSizing)
{
    BasicImageProvider provider = ProviderOf(UniformCaptures(2, 30, 20));
    BuildingStitcher stitcher(std::make_shared<FixedTranslationDetector>(std::vector<Translation>{}),
                              StitcherParameters());
    RecordingListener listener;
    cv::Mat result;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(stitcher.BuildResultImage(provider, result, &listener, 0, 100));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: No translations in list.\nError: Failed to size the resulting image.\n");
    EXPECT_EQ(listener.Calls(), std::vector<std::string>{"error 2"});
    EXPECT_TRUE(result.empty());
}

TEST(BasicStitcherFailures, DetectionThatDoesNotFitTheCapturesFails)
{
    BasicImageProvider provider = ProviderOf(UniformCaptures(3, 30, 20));
    for (const std::vector<Translation>& list :
         {std::vector<Translation>{}, std::vector<Translation>{Translation(-5, 0)},
          std::vector<Translation>(3, Translation(-5, 0))}) {
        Rig rig(list);
        RecordingListener listener;
        cv::Mat result;
        const Outcome outcome = StitchInto(rig.stitcher, provider, result, &listener);
        EXPECT_FALSE(outcome.success);
        EXPECT_EQ(outcome.errors, kDetectionFailed);
        EXPECT_TRUE(listener.Errors().empty());
        ExpectCompletedLast(listener, false);
        EXPECT_TRUE(rig.stitcher.GetTranslations().empty());
    }
}

TEST(BasicStitcherFailures, CaptureOfAnotherSizeIsLeftOut)
{
    std::vector<cv::Mat> captures = UniformCaptures(3, 30, 20);
    captures[1] = Uniform(30, 21, 200);
    BasicImageProvider provider = ProviderOf(captures);
    Rig rig({Translation(-10, 0), Translation(-10, 0)});
    RecordingListener listener;
    cv::Mat result;
    const Outcome outcome = StitchInto(rig.stitcher, provider, result, &listener);
    EXPECT_TRUE(outcome.success);
    EXPECT_EQ(outcome.errors, "The Ranges provided must be the same width and heigh as the source image\n");
    ASSERT_EQ(result.size(), cv::Size(20, 50));
    // Capture 0 keeps what capture 1 would have covered; capture 2 still loses the half of
    // its overlap with capture 1, which leaves a transparent row.
    EXPECT_TRUE(SamePixels(result.rowRange(0, 30), captures[0]));
    EXPECT_EQ(cv::countNonZero(result.row(30).reshape(1)), 0);
    EXPECT_TRUE(SamePixels(result.rowRange(31, 50), captures[2].rowRange(11, 30)));
    ExpectCompletedLast(listener, true);
}

TEST(BasicStitcherFailures, CapturesThatAreNotEightBitAreRejected)
{
    Rig rig({Translation(-10, 0), Translation(-10, 0)});

    // Capture 0 is checked before anything else happens.
    BasicImageProvider wideFirst = ProviderOf(UniformCaptures(3, 30, 20, CV_16UC4));
    RecordingListener listener;
    cv::Mat result;
    Outcome outcome = StitchInto(rig.stitcher, wideFirst, result, &listener);
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.errors, kNotEightBit);
    EXPECT_TRUE(rig.detector->ranges.empty());
    EXPECT_EQ(listener.Calls(), std::vector<std::string>{"complete 0"});
    EXPECT_TRUE(result.empty());

    // A later capture fails the building when it is reached.
    std::vector<cv::Mat> captures = UniformCaptures(3, 30, 20);
    captures[2] = Uniform(30, 20, 9, CV_32FC4);
    BasicImageProvider wideLast = ProviderOf(captures);
    RecordingListener later;
    outcome = StitchInto(rig.stitcher, wideLast, result, &later);
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.errors, kNotEightBit + kBuildFailed);
    EXPECT_TRUE(later.Errors().empty());
    ExpectCompletedLast(later, false);
    EXPECT_TRUE(result.empty());

    // Also when it is the only capture.
    BasicImageProvider single;
    cv::Mat wide = Uniform(3, 3, 9, CV_16UC4);
    single.Add(wide);
    outcome = StitchInto(rig.stitcher, single, result, nullptr);
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.errors, kNotEightBit);
    EXPECT_TRUE(result.empty());
}

TEST(BasicStitcherFailures, MissingDetectorFailsCleanly)
{
    BasicImageProvider provider = ProviderOf(UniformCaptures(2, 30, 20));
    BasicStitcher stitcher(nullptr, StitcherParameters());
    RecordingListener listener;
    cv::Mat result;
    const Outcome outcome = StitchInto(stitcher, provider, result, &listener);
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.errors, "Error: No translation detector to stitch with.\n");
    EXPECT_EQ(listener.Calls(), std::vector<std::string>{"complete 0"});
}

TEST(BasicStitcherCaptures, ProviderCapturesAreNeverAltered)
{
    const cv::Mat page = Testing::MakePage(cv::Size(80, 200), 3);
    const std::vector<cv::Mat> captures{page(cv::Rect(10, 0, 60, 50)).clone(), page(cv::Rect(10, 30, 60, 50)).clone(),
                                        page(cv::Rect(10, 40, 60, 50)).clone(), page(cv::Rect(0, 100, 60, 50)).clone()};
    const std::vector<cv::Mat> originals = Testing::DeepCopies(captures);
    BasicImageProvider provider = ProviderOf(captures);
    Rig rig({Translation(-30, 0), Translation(-10, 0), Translation(-60, 10)});
    cv::Mat result;
    ASSERT_TRUE(StitchInto(rig.stitcher, provider, result, nullptr).success);
    for (std::size_t i = 0; i < originals.size(); ++i) {
        EXPECT_TRUE(SamePixels(*provider.GetImageAt(i), originals[i])) << "capture " << i;
    }
    // The last move is larger than a capture: it is laid whole.
    ASSERT_EQ(result.size(), cv::Size(70, 150));
    EXPECT_TRUE(SamePixels(result(cv::Rect(10, 0, 60, 90)), page(cv::Rect(10, 0, 60, 90))));
    EXPECT_TRUE(SamePixels(result(cv::Rect(0, 100, 60, 50)), page(cv::Rect(0, 100, 60, 50))));
}

TEST(BasicStitcherCaptures, CapturesWithoutAlphaCoverTheOverlapWhole)
{
    const std::vector<cv::Mat> captures = UniformCaptures(3, 40, 20, CV_8UC3);
    BasicImageProvider provider = ProviderOf(captures);
    Rig rig({Translation(-10, 0), Translation(-10, 0)});
    cv::Mat result;
    ASSERT_TRUE(StitchInto(rig.stitcher, provider, result, nullptr).success);
    cv::Mat expected(60, 20, CV_8UC3);
    captures[0].rowRange(0, 10).copyTo(expected.rowRange(0, 10));
    captures[1].rowRange(0, 10).copyTo(expected.rowRange(10, 20));
    captures[2].copyTo(expected.rowRange(20, 60));
    EXPECT_TRUE(SamePixels(result, expected));
}

TEST(BasicStitcherState, TranslationsFollowTheLastStitchOfSeveralCaptures)
{
    BasicImageProvider three = ProviderOf(UniformCaptures(3, 30, 20));
    const std::vector<Translation> list{Translation(-4, 0), Translation(-6, 0)};
    Rig rig(list);
    EXPECT_TRUE(rig.stitcher.GetTranslations().empty());
    cv::Mat result;
    ASSERT_TRUE(StitchInto(rig.stitcher, three, result, nullptr).success);
    EXPECT_EQ(rig.stitcher.GetTranslations(), list);

    // A single capture leaves them as they were.
    BasicImageProvider one;
    cv::Mat capture = Uniform(5, 5, 3);
    one.Add(capture);
    ASSERT_TRUE(StitchInto(rig.stitcher, one, result, nullptr).success);
    EXPECT_EQ(rig.stitcher.GetTranslations(), list);

    // A copy keeps them, shares the detector and the recorded size, and stitches on its own.
    BasicStitcher copy(rig.stitcher);
    EXPECT_EQ(copy.GetTranslations(), list);
    EXPECT_EQ(TestAccess<BasicStitcher>::Detector(copy), TestAccess<BasicStitcher>::Detector(rig.stitcher));
    EXPECT_EQ(TestAccess<BasicStitcher>::FirstCaptureSize(copy).get(),
              TestAccess<BasicStitcher>::FirstCaptureSize(rig.stitcher).get());
    rig.detector->translations = {Translation(-1, 0), Translation(-1, 0)};
    ASSERT_TRUE(StitchInto(copy, three, result, nullptr).success);
    EXPECT_EQ(copy.GetTranslations(), rig.detector->translations);
    EXPECT_EQ(rig.stitcher.GetTranslations(), list);
    EXPECT_EQ(result.rows, 32);
}

TEST(BasicStitcherState, CropSourceImageCutsWithTheStoredTranslation)
{
    BasicImageProvider provider = ProviderOf(UniformCaptures(3, 30, 20));
    Rig rig({Translation(-10, 0), Translation(0, 6)});
    cv::Mat result;
    ASSERT_TRUE(StitchInto(rig.stitcher, provider, result, nullptr).success);

    cv::Mat image = Uniform(30, 20, 5);
    TestAccess<BasicStitcher>::CropSourceImage(rig.stitcher, image, 1, cv::Rect(0, 0, 20, 30));
    // (0, 6) on 20 columns clears columns 13..19.
    EXPECT_EQ(cv::countNonZero(image.colRange(13, 20).reshape(1)), 0);
    EXPECT_EQ(cv::countNonZero(image.colRange(0, 13).reshape(1)), 30 * 13 * 4);
    const cv::Mat before = image.clone();
    TestAccess<BasicStitcher>::CropSourceImage(rig.stitcher, image, 2, cv::Rect(0, 0, 20, 30));
    TestAccess<BasicStitcher>::CropSourceImage(rig.stitcher, image, -1, cv::Rect(0, 0, 20, 30));
    EXPECT_TRUE(SamePixels(image, before));
}

}  // namespace
}  // namespace Stitching
}  // namespace ZOLT
