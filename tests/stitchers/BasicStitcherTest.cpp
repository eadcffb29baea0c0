// The basic stitcher on a scripted detector: sizing, the cut between captures, progress, warnings,
// the listener contract and the failure paths.

#include "BasicStitcherAccess.h"
#include "RecordingListener.h"
#include "StitcherFakes.h"
#include "TestImages.h"

#include <ZOLT/Stitchers.h>

#include <gtest/gtest.h>

#include <algorithm>

namespace ZOLT {
namespace Stitching {
namespace {

using Testing::FakeDetector;
using Testing::RecordingListener;
using Testing::SamePixels;
using Warnings = std::vector<IStitcherListener::StitcherWarningCodes>;

const std::string kDetectionFailed = "Error: Failed to detect translations.\n";
const std::string kBuildFailed = "Error: Failed to build the Result image.\n";
const std::string kNotEightBit = "Error: Only 8-bit captures can be stitched.\n";

/// A capture of one colour; each shade gives a colour no other shade gives.
cv::Mat Uniform(int rows, int cols, int shade, int type = CV_8UC4)
{
    return cv::Mat(rows, cols, type, cv::Scalar(shade, 255 - shade, 100, 255));
}

std::vector<cv::Mat> Uniforms(int count, int rows = 30, int cols = 20, int type = CV_8UC4)
{
    std::vector<cv::Mat> captures;
    for (int i = 0; i < count; ++i) {
        captures.push_back(Uniform(rows, cols, 40 + 50 * i, type));
    }
    return captures;
}

/// A basic stitcher on a fixed list, with what its last Stitch wrote to the error stream.
struct Rig {
    explicit Rig(std::vector<Translation> list, StitcherParameters parameters = StitcherParameters())
        : detector(std::make_shared<FakeDetector>(std::move(list))), stitcher(detector, parameters)
    {
    }

    bool Stitch(IImageProvider& provider, IStitcherListener* listener, int start = 0, int end = 100,
                bool completion = true)
    {
        bool stitched = false;
        errors = Testing::StderrOf([&] { stitched = stitcher.Stitch(provider, result, listener, start, end, completion); });
        return stitched;
    }

    std::shared_ptr<FakeDetector> detector;
    BasicStitcher stitcher;
    cv::Mat result;
    std::string errors;
};

TEST(BasicStitcher, WorkedExamplesGiveSizeAndPlacement)
{
    BasicImageProvider provider = Testing::ProviderOf(Uniforms(3, 100, 50));
    const struct {
        std::vector<Translation> translations;
        cv::Size size;
        cv::Rect placement;
    } cases[] = {
        {{Translation(-30, 0), Translation(-30, 0)}, cv::Size(50, 160), cv::Rect(0, 0, 50, 100)},
        {{Translation(20, 0), Translation(-50, 0)}, cv::Size(50, 150), cv::Rect(20, 0, 50, 100)},
        {{Translation(0, 15), Translation(0, -40)}, cv::Size(90, 100), cv::Rect(0, 15, 50, 100)},
        {{Translation(-10, -5), Translation(30, 8)}, cv::Size(58, 130), cv::Rect(20, 3, 50, 100)},
    };
    for (const auto& example : cases) {
        Rig rig(example.translations);
        ASSERT_TRUE(rig.Stitch(provider, nullptr));
        EXPECT_EQ(rig.errors, "");
        cv::Rect placement;
        cv::Size size;
        ASSERT_TRUE(TestAccess<BasicStitcher>::CalcResultImage(rig.stitcher, placement, size));
        EXPECT_EQ(size, example.size);
        EXPECT_EQ(rig.result.size(), example.size);
        EXPECT_EQ(placement, example.placement);
    }
}

TEST(BasicStitcher, EachCaptureAddsOnlyWhatIsBeyondTheCut)
{
    // (+20, 0) then (-50, 0) on 100 x 50: capture 0 at row 20, capture 1 at row 0, capture 2 at
    // row 50. Capture 1 (upward) loses rows 60..99 of its own, capture 2 (downward) rows 0..25.
    const std::vector<cv::Mat> captures = Uniforms(3, 100, 50);
    BasicImageProvider provider = Testing::ProviderOf(captures);
    Rig rig({Translation(20, 0), Translation(-50, 0)});
    ASSERT_TRUE(rig.Stitch(provider, nullptr));
    cv::Mat expected(150, 50, CV_8UC4);
    captures[1].rowRange(0, 60).copyTo(expected.rowRange(0, 60));
    captures[0].rowRange(40, 56).copyTo(expected.rowRange(60, 76));
    captures[2].rowRange(26, 100).copyTo(expected.rowRange(76, 150));
    EXPECT_TRUE(SamePixels(rig.result, expected));
}

TEST(BasicStitcher, DetectionGetsNineTenthsThenOneReportPerTranslation)
{
    BasicImageProvider provider = Testing::ProviderOf(Uniforms(4, 60, 40));
    Rig rig({Translation(-20, 0), Translation(-20, 0), Translation(-20, 0)});
    RecordingListener listener;
    ASSERT_TRUE(rig.Stitch(provider, &listener));
    // The detector's own report, the three passes, the end of building and the final report.
    EXPECT_EQ(listener.Log(), "progress 90, progress 90, progress 93, progress 96, progress 100, progress 100, complete 1");
    RecordingListener shifted;
    ASSERT_TRUE(rig.Stitch(provider, &shifted, 10, 20, false));
    EXPECT_EQ(rig.detector->ranges, (std::vector<std::pair<int, int>>{{0, 90}, {10, 19}}));
    EXPECT_EQ(shifted.Log(), "progress 19, progress 19, progress 19, progress 19, progress 20");
    // The final report of a successful stitch cannot cancel it any more.
    RecordingListener late;
    late.progressAnswer = [](int position, std::size_t call) { return position != 100 || call < 5; };
    EXPECT_TRUE(rig.Stitch(provider, &late));
}

TEST(BasicStitcher, WarningsCompareTheZeroShareAndRunsWithTheirLimits)
{
    using Codes = IStitcherListener;
    const Translation o(0, 0);
    const Translation d(-5, 0);
    StitcherParameters custom;
    custom.maxZeroTranslationsPercent = 50;
    custom.maxConsecutiveZeroTranslations = 0;
    const struct {
        std::vector<Translation> list;
        Warnings expected;
        StitcherParameters parameters;
    } cases[] = {
        {{o, d, o, d, o, d, d, d, d, d}, {}, {}},  // 3 of 10 is exactly 30 %: not above the limit
        {{o, d, o, d, o, d, o, d, d, d}, {Codes::TooManyZeroTranslations}, {}},
        {{d, d, o, o, d, d, d, d, d, d}, {}, {}},  // a run of two is tolerated, of three not
        {{d, d, o, o, o, d, d, d, d, d}, {Codes::TooManyConsecutiveZeroTranslations}, {}},
        {{o, o, o, Translation(-3, 2)},
         {Codes::TooManyZeroTranslations, Codes::TooManyConsecutiveZeroTranslations, Codes::DiagonalTranslation},
         {}},
        {{o, d}, {Codes::TooManyConsecutiveZeroTranslations}, custom},
    };
    for (const auto& example : cases) {
        Testing::ReadRecordingProvider provider;
        for (cv::Mat capture : Uniforms(static_cast<int>(example.list.size()) + 1)) {
            provider.Add(capture);
        }
        Rig rig(example.list, example.parameters);
        RecordingListener listener;
        EXPECT_TRUE(rig.Stitch(provider, &listener));
        EXPECT_EQ(listener.Warnings(), example.expected);
        EXPECT_EQ(listener.Calls().back(), "complete 1");  // warnings come before the completion
        // A capture behind a zero translation adds nothing and is not even read.
        for (std::size_t i = 0; i < example.list.size(); ++i) {
            EXPECT_EQ(std::count(provider.reads.begin(), provider.reads.end(), i + 1), example.list[i] == o ? 0 : 1);
        }
    }
}

TEST(BasicStitcher, ListenerContractOnEveryEarlyEnd)
{
    const std::vector<Translation> down2(2, Translation(-5, 0));
    const std::vector<Translation> down3(3, Translation(-5, 0));
    std::vector<cv::Mat> floatLast = Uniforms(3);
    floatLast[2] = Uniform(30, 20, 9, CV_32FC4);
    const std::string building = "progress 90, progress 90, progress 93, ";
    const struct {
        std::vector<cv::Mat> captures;
        std::vector<Translation> list;
        int refused;  // the progress position answered false, -1 for none
        bool completion;
        std::string calls;
        std::string errors;
        int end;
    } cases[] = {
        {{}, {}, -1, true, "error 1, complete 0", "", 100},
        {Uniforms(1), {}, -1, true, "progress 50, complete 1", "", 50},
        {Uniforms(1), {}, 50, true, "progress 50, error 4, complete 0", "", 50},
        {Uniforms(1), {}, -1, false, "progress 1", "", 1},
        {Uniforms(3), down2, 90, true, "progress 90, error 4, complete 0", kDetectionFailed, 100},
        {Uniforms(3), {Translation(-5, 0)}, -1, true, "progress 90, complete 0", kDetectionFailed, 100},
        {Uniforms(3), down3, -1, true, "progress 90, complete 0", kDetectionFailed, 100},
        {Uniforms(4), down3, 93, false, building + "error 4", kBuildFailed, 100},
        {Uniforms(4), down3, 100, true, building + "progress 96, progress 100, complete 0", kBuildFailed, 100},
        {Uniforms(3), std::vector<Translation>(2, Translation(-2000000000, 0)), -1, true,
         "progress 90, error 2, complete 0",
         "Error: The resulting image would be too large.\nError: Failed to size the resulting image.\n" + kBuildFailed,
         100},
        {Uniforms(3, 30, 20, CV_16UC4), down2, -1, true, "complete 0", kNotEightBit, 100},
        {Uniforms(1, 3, 3, CV_16UC4), {}, -1, true, "complete 0", kNotEightBit, 100},
        {floatLast, down2, -1, true, "progress 90, progress 90, progress 95, complete 0", kNotEightBit + kBuildFailed,
         100},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.calls);
        BasicImageProvider provider = Testing::ProviderOf(example.captures);
        Rig rig(example.list);
        const cv::Mat sentinel = Uniform(2, 2, 1);
        rig.result = sentinel;
        RecordingListener listener;
        const int refused = example.refused;
        listener.progressAnswer = [refused](int position, std::size_t) { return position != refused; };
        EXPECT_EQ(rig.Stitch(provider, &listener, 0, example.end, example.completion),
                  example.calls.find("complete 0") == std::string::npos && example.errors.empty());
        EXPECT_EQ(listener.Log(), example.calls);
        EXPECT_EQ(rig.errors, example.errors);
        // Only a single 8-bit capture becomes the result, even when cancelled; failures leave it alone.
        const bool single = example.captures.size() == 1 && example.captures[0].depth() == CV_8U;
        EXPECT_EQ(rig.result.data, single ? example.captures[0].data : sentinel.data);
    }
}

TEST(BasicStitcher, MissingDetectorOrTranslationsFailCleanly)
{
    BasicImageProvider provider = Testing::ProviderOf(Uniforms(2));
    BasicStitcher stitcher(nullptr, StitcherParameters());
    RecordingListener listener;
    cv::Mat result;
    EXPECT_EQ(Testing::StderrOf([&] { EXPECT_FALSE(stitcher.Stitch(provider, result, &listener, 0, 100, true)); }),
              "Error: No translation detector to stitch with.\n");
    EXPECT_EQ(listener.Log(), "complete 0");

    /// Reaches the protected result building without a detection before it.
    struct BuildingStitcher : BasicStitcher {
        using BasicStitcher::BasicStitcher;
        using BasicStitcher::BuildResultImage;
    } building(std::make_shared<FakeDetector>(), StitcherParameters());
    RecordingListener sizing;
    EXPECT_EQ(Testing::StderrOf([&] { EXPECT_FALSE(building.BuildResultImage(provider, result, &sizing, 0, 100)); }),
              "Error: No translations in list.\nError: Failed to size the resulting image.\n");
    EXPECT_EQ(sizing.Log(), "error 2");
    EXPECT_TRUE(result.empty());
}

TEST(BasicStitcher, CaptureOfAnotherSizeIsLeftOutAndCapturesWithoutAlphaCoverTheOverlapWhole)
{
    std::vector<cv::Mat> captures = Uniforms(3);
    captures[1] = Uniform(30, 21, 200);
    BasicImageProvider provider = Testing::ProviderOf(captures);
    Rig rig({Translation(-10, 0), Translation(-10, 0)});
    ASSERT_TRUE(rig.Stitch(provider, nullptr));
    EXPECT_EQ(rig.errors, "The Ranges provided must be the same width and heigh as the source image\n");
    // Capture 0 keeps what capture 1 would have covered; capture 2 still loses the half of its
    // overlap with capture 1, which leaves a transparent row.
    cv::Mat expected = cv::Mat::zeros(50, 20, CV_8UC4);
    captures[0].copyTo(expected.rowRange(0, 30));
    captures[2].rowRange(11, 30).copyTo(expected.rowRange(31, 50));
    EXPECT_TRUE(SamePixels(rig.result, expected));

    const std::vector<cv::Mat> opaque = Uniforms(3, 40, 20, CV_8UC3);
    BasicImageProvider withoutAlpha = Testing::ProviderOf(opaque);
    ASSERT_TRUE(rig.Stitch(withoutAlpha, nullptr));
    cv::Mat covered(60, 20, CV_8UC3);
    opaque[0].rowRange(0, 10).copyTo(covered.rowRange(0, 10));
    opaque[1].rowRange(0, 10).copyTo(covered.rowRange(10, 20));
    opaque[2].copyTo(covered.rowRange(20, 60));
    EXPECT_TRUE(SamePixels(rig.result, covered));
}

TEST(BasicStitcher, TranslationsFollowTheLastStitchOfSeveralCaptures)
{
    BasicImageProvider three = Testing::ProviderOf(Uniforms(3));
    const std::vector<Translation> list{Translation(-4, 0), Translation(-6, 0)};
    Rig rig(list);
    ASSERT_TRUE(rig.Stitch(three, nullptr));
    BasicImageProvider one = Testing::ProviderOf(Uniforms(1, 5, 5));
    ASSERT_TRUE(rig.Stitch(one, nullptr));  // a single capture leaves them as they were
    EXPECT_EQ(rig.stitcher.GetTranslations(), list);
    // A copy keeps them and then stitches on its own.
    BasicStitcher copy(rig.stitcher);
    EXPECT_EQ(copy.GetTranslations(), list);
    rig.detector->translations = {Translation(-1, 0), Translation(-1, 0)};
    cv::Mat result;
    ASSERT_TRUE(copy.Stitch(three, result, nullptr, 0, 100, false));
    EXPECT_EQ(copy.GetTranslations(), rig.detector->translations);
    EXPECT_EQ(rig.stitcher.GetTranslations(), list);
}

}  // namespace
}  // namespace Stitching
}  // namespace ZOLT
