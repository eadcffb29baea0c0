// The basic and the smart stitcher on translations the test chooses: the canvas, the cut between
// captures, the frame around the changing region, progress, warnings and every early end.

#include "RecordingListener.h"
#include "SyntheticCaptures.h"
#include "TempFolder.h"
#include "TestImages.h"

#include <ZOLT/Stitching.h>

#include <gtest/gtest.h>

#include <optional>

namespace ZOLT {
namespace Stitching {
namespace {

using Testing::RecordingListener;
using Testing::SamePixels;
using Codes = IStitcherListener;

/// Answers with a fixed list (or `step` for every pair) after one report at the end of its range.
struct FakeDetector : ITranslationDetector {
    std::vector<Translation> DetectTranslation(IImageProvider& provider, IStitcherListener* listener, int,
                                               int progressEnd) override
    {
        if (failing) {
            return {};
        }
        if (listener != nullptr && !listener->OnProgress(progressEnd)) {
            listener->OnError(Codes::Cancelled, false);
            return {};
        }
        return step ? std::vector<Translation>(provider.Count() - 1, *step) : list;
    }
    Translation DetectTranslation(const cv::Mat&, const cv::Mat&, IStitcherListener*) override { return {}; }

    std::vector<Translation> list;
    std::optional<Translation> step;
    bool failing = false;
};

/// A capture of one colour; each shade gives its own colour.
std::vector<cv::Mat> Uniforms(int count, int rows = 30, int cols = 20, int type = CV_8UC4)
{
    std::vector<cv::Mat> captures;
    for (int i = 0; i < count; ++i) {
        captures.emplace_back(rows, cols, type, cv::Scalar(40 + 50 * i, 215 - 50 * i, 100, 255));
    }
    return captures;
}

/// A basic stitcher on a fixed list of translations.
struct Basic {
    explicit Basic(std::vector<Translation> list) : detector(std::make_shared<FakeDetector>()), stitcher(detector, {})
    {
        detector->list = std::move(list);
    }

    bool Stitch(std::vector<cv::Mat> captures, IStitcherListener* listener)
    {
        BasicImageProvider provider = Testing::ProviderOf(std::move(captures));
        return stitcher.Stitch(provider, result, listener, 0, 100, true);
    }

    std::shared_ptr<FakeDetector> detector;
    BasicStitcher stitcher;
    cv::Mat result;
};

TEST(BasicStitcher, EachCaptureAddsOnlyWhatLiesBeyondTheCut)
{
    // (+20, 0) then (-50, 0) on 100 x 50: capture 1 (scrolled up) lands at row 0 and keeps rows
    // 0..59, capture 0 sits at row 20, capture 2 (scrolled down) at row 50 from its row 26.
    const std::vector<cv::Mat> captures = Uniforms(3, 100, 50);
    Basic rig({Translation(20, 0), Translation(-50, 0)});
    ASSERT_TRUE(rig.Stitch(captures, nullptr));
    cv::Mat expected(150, 50, CV_8UC4);
    captures[1].rowRange(0, 60).copyTo(expected.rowRange(0, 60));
    captures[0].rowRange(40, 56).copyTo(expected.rowRange(60, 76));
    captures[2].rowRange(26, 100).copyTo(expected.rowRange(76, 150));
    EXPECT_TRUE(SamePixels(rig.result, expected));
    EXPECT_EQ(rig.stitcher.GetTranslations(), rig.detector->list);
    // Sideways and diagonal moves size the canvas by the extremes on both axes.
    Basic sideways({Translation(-10, -5), Translation(30, 8)});
    ASSERT_TRUE(sideways.Stitch(captures, nullptr));
    EXPECT_EQ(sideways.result.size(), cv::Size(58, 130));
    // Without alpha nothing is cut: each capture covers the overlap whole.
    const std::vector<cv::Mat> opaque = Uniforms(2, 40, 20, CV_8UC3);
    Basic whole({Translation(-10, 0)});
    ASSERT_TRUE(whole.Stitch(opaque, nullptr));
    EXPECT_TRUE(SamePixels(whole.result.rowRange(10, 50), opaque[1]));
}

TEST(BasicStitcher, DetectionGetsNineTenthsThenOneReportPerTranslation)
{
    Basic rig(std::vector<Translation>(3, Translation(-20, 0)));
    RecordingListener listener;
    ASSERT_TRUE(rig.Stitch(Uniforms(4, 60, 40), &listener));
    // The detector's own report, the three passes, the end of building and the final report.
    EXPECT_EQ(listener.Log(), "progress 90, progress 90, progress 93, progress 96, progress 100, progress 100, complete 1");
}

TEST(BasicStitcher, WarnsAboveTheZeroShareAndRunLimitsAndOnDiagonalMoves)
{
    const Translation o(0, 0);
    const Translation d(-5, 0);
    const struct {
        std::vector<Translation> list;
        std::vector<Codes::StitcherWarningCodes> expected;
    } cases[] = {
        {{o, d, o, d, o, d, d, d, d, d}, {}},  // 3 of 10 is exactly 30 %: not above the limit
        {{o, d, o, d, o, d, o, d, d, d}, {Codes::TooManyZeroTranslations}},
        {{d, d, o, o, d, d, d, d, d, d}, {}},  // a run of two is tolerated, of three not
        {{o, o, o, Translation(-3, 2)},
         {Codes::TooManyZeroTranslations, Codes::TooManyConsecutiveZeroTranslations, Codes::DiagonalTranslation}},
    };
    for (const auto& example : cases) {
        Basic rig(example.list);
        RecordingListener listener;
        EXPECT_TRUE(rig.Stitch(Uniforms(static_cast<int>(example.list.size()) + 1), &listener));
        EXPECT_EQ(listener.Warnings(), example.expected);
        EXPECT_EQ(listener.Calls().back(), "complete 1");
    }
}

TEST(BasicStitcher, EarlyEndsReportOnceAndLeaveTheResultAlone)
{
    const std::vector<Translation> down(3, Translation(-5, 0));
    const struct {
        std::vector<cv::Mat> captures;
        std::vector<Translation> list;
        int refused;  // the progress position answered false, -1 for none
        std::string calls;
    } cases[] = {
        {{}, {}, -1, "error 1, complete 0"},
        {Uniforms(1), {}, 100, "progress 100, error 4, complete 0"},
        {Uniforms(4), down, 90, "progress 90, error 4, complete 0"},
        {Uniforms(4), down, 93, "progress 90, progress 90, progress 93, error 4, complete 0"},
        {Uniforms(3), {Translation(-5, 0)}, -1, "progress 90, complete 0"},
        // A canvas past the largest matrix is refused before anything is allocated.
        {Uniforms(3), std::vector<Translation>(2, Translation(-2000000000, 0)), -1, "progress 90, error 2, complete 0"},
        {Uniforms(3, 30, 20, CV_16UC4), {}, -1, "complete 0"},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.calls);
        Basic rig(example.list);
        const cv::Mat untouched(1, 1, CV_8UC4);
        rig.result = untouched;
        RecordingListener listener;
        listener.progressAnswer = [&example](int position, std::size_t) { return position != example.refused; };
        EXPECT_FALSE(rig.Stitch(example.captures, &listener));
        EXPECT_EQ(listener.Log(), example.calls);
        EXPECT_EQ(rig.result.data, example.captures.size() == 1 ? example.captures[0].data : untouched.data);
    }
}

/// Keeps the library's own lines instead of letting them reach the console.
struct MessageListener : RecordingListener {
    void OnMessage(MessageSeverity severity, const std::string& text) override
    {
        lines.push_back(std::to_string(severity) + " " + text);
    }
    std::vector<std::string> lines;
};

std::shared_ptr<IStitcher> BasicOn(std::vector<Translation> list)
{
    const auto detector = std::make_shared<FakeDetector>();
    detector->list = std::move(list);
    return std::make_shared<BasicStitcher>(detector, StitcherParameters{});
}

TEST(StitcherMessages, GoToTheListenerThatIsThereAndOtherwiseToTheStandardErrorStream)
{
    const struct {
        std::shared_ptr<IStitcher> stitcher;
        std::vector<cv::Mat> captures;
        std::vector<std::string> lines;
    } cases[] = {
        {BasicOn({}), Uniforms(3, 30, 20, CV_16UC4), {"Error: Only 8-bit captures can be stitched."}},
        {BasicOn(std::vector<Translation>(2, Translation(-2000000000, 0))),
         Uniforms(3),
         {"Error: The resulting image would be too large.", "Error: Failed to size the resulting image.",
          "Error: Failed to build the Result image."}},
        {StitcherFactory::CreatePageStitcher({}),
         {Uniforms(1)[0], Uniforms(1, 30, 24)[0]},
         {"Error: Every capture must have the first capture's size."}},
        // The decorator's notice goes to the standard output stream without a listener.
        {StitcherFactory::CreateStitcherWithBasicBorderDetection({}, 24, 3),
         std::vector<cv::Mat>(3, Uniforms(1)[0]),
         {"Error: Failed to find top or left content boundary for image with index 1.", "2 No content box was found."}},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.lines.front());
        cv::Mat result;
        BasicImageProvider provider = Testing::ProviderOf(example.captures);
        MessageListener listener;
        EXPECT_EQ(Testing::StderrOf([&] { example.stitcher->Stitch(provider, result, &listener, 0, 100, true); }), "");
        std::vector<std::string> expected;
        std::string console;
        for (const std::string& line : example.lines) {
            const bool notice = line.rfind("2 ", 0) == 0;
            expected.push_back(notice ? line : "1 " + line);
            console += notice ? "" : line + "\n";
        }
        EXPECT_EQ(listener.lines, expected);

        // The listener's default, and no listener at all, write each line as before.
        RecordingListener plain;
        EXPECT_EQ(Testing::StderrOf([&] { example.stitcher->Stitch(provider, result, &plain, 0, 100, true); }),
                  console);
        EXPECT_EQ(Testing::StderrOf([&] { example.stitcher->Stitch(provider, result, nullptr, 0, 100, true); }),
                  console);
    }
}

TEST(BasicStitcher, ThrowingListenersAndStoresReachTheHost)
{
    const std::vector<cv::Mat> captures = Testing::CutSeries(Testing::MakePage(cv::Size(200, 600), 4),
                                                               cv::Size(200, 150), Testing::VerticalOffsets(6, 40))
                                               .captures;
    StitcherParameters parameters;
    parameters.maxThreads = 2;
    const std::shared_ptr<IStitcher> stitcher = StitcherFactory::CreateBasicStitcher(parameters);
    cv::Mat result;
    struct Throwing : RecordingListener {
        bool OnProgress(int) override { throw std::logic_error("host failure"); }
    } throwing;
    BasicImageProvider provider = Testing::ProviderOf(captures);
    EXPECT_THROW(stitcher->Stitch(provider, result, &throwing, 0, 100, true), std::logic_error);
    // A spill file that vanished under the store.
    const Testing::TempFolder folder;
    MemoryEfficientImageProvider store(folder.Prefix(), 0);
    for (cv::Mat capture : captures) {
        store.Add(capture);
    }
    std::filesystem::remove(folder / folder.Entries().front());
    EXPECT_THROW(stitcher->Stitch(store, result, nullptr, 0, 100, true), std::runtime_error);
    EXPECT_TRUE(result.empty());
}

/// 80-row captures: a fixed frame of noise around a 40 x 40 viewport that scrolls 5 rows per
/// capture; the frame is 20 rows high above and below the viewport, and `side` columns wide on
/// each side.
std::vector<cv::Mat> Scrolling(int side, int count = 3)
{
    cv::Mat content = Testing::Noise(cv::Size(40, 40 + 5 * count), 77);
    content.reshape(1, static_cast<int>(content.total())).col(3).setTo(255);
    const cv::Mat frame = Testing::Noise(cv::Size(2 * side + 40, 80), 78);
    std::vector<cv::Mat> captures;
    for (int i = 0; i < count; ++i) {
        captures.push_back(frame.clone());
        content.rowRange(5 * i, 5 * i + 40).copyTo(captures.back()(cv::Rect(side, 20, 40, 40)));
    }
    return captures;
}

struct Smart {
    Smart() { detector->step = Translation(-5, 0); }

    bool Stitch(const std::vector<cv::Mat>& captures, IStitcherListener* listener)
    {
        BasicImageProvider provider = Testing::ProviderOf(Testing::DeepCopies(captures));
        return stitcher.Stitch(provider, result, listener, 0, 100, true);
    }

    std::shared_ptr<FakeDetector> detector = std::make_shared<FakeDetector>();
    SmartStitcher stitcher{detector, StitcherParameters(), 1};
    cv::Mat result;
};

TEST(SmartStitcher, FramesTheChangingRegionAndAbsorbsGapsNarrowerThanTheBorderWidth)
{
    for (const int side : {19, 20, 25}) {
        SCOPED_TRACE(side);
        const std::vector<cv::Mat> captures = Scrolling(side);
        const cv::Mat& first = captures[0];
        Smart smart;
        ASSERT_TRUE(smart.Stitch(captures, nullptr));
        ASSERT_EQ(smart.result.size(), cv::Size(first.cols, 90));
        EXPECT_TRUE(SamePixels(smart.result.rowRange(0, 20), first.rowRange(0, 20)));
        EXPECT_TRUE(SamePixels(smart.result(cv::Rect(side, 65, 40, 5)), captures[2](cv::Rect(side, 55, 40, 5))));
        EXPECT_TRUE(SamePixels(smart.result(cv::Rect(side, 70, 40, 20)), first(cv::Rect(side, 60, 40, 20))));
        // Below the first capture a framed side column is one colour, sampled from the first
        // capture higher up the nearer the edge; an absorbed one goes on with stitched pixels.
        const cv::Mat below = smart.result.rowRange(80, 90);
        for (const int col : {0, 5, side - 1, first.cols - side, first.cols - 1}) {
            const cv::Mat column = below.col(col);
            const bool oneColour = SamePixels(column, cv::repeat(column.row(0), 10, 1));
            EXPECT_EQ(oneColour, side >= 20) << "column " << col;
        }
        if (side >= 20) {
            EXPECT_EQ(below.at<cv::Vec4b>(0, 0), first.at<cv::Vec4b>(68, 0));
            EXPECT_EQ(below.at<cv::Vec4b>(0, 5), first.at<cv::Vec4b>(73, 5));
        }
    }
    // When first and last capture differ in one pixel only, the whole window is stitched.
    std::vector<cv::Mat> still = Uniforms(3, 60, 60);
    still[1] = still[0].clone();
    still[2] = still[0].clone();
    still[2].at<cv::Vec4b>(30, 30) = cv::Vec4b(0, 0, 0, 255);
    Smart smart;
    ASSERT_TRUE(smart.Stitch(still, nullptr));
    Basic basic({Translation(-5, 0), Translation(-5, 0)});
    ASSERT_TRUE(basic.Stitch(Testing::DeepCopies(still), nullptr));
    EXPECT_TRUE(SamePixels(smart.result, basic.result));
}

TEST(SmartStitcher, ReportsItsSharesAndEndsEarlyOnCancelOrWithoutCaptures)
{
    Smart smart;
    RecordingListener listener;
    ASSERT_TRUE(smart.Stitch(Scrolling(20), &listener));
    const std::vector<int> progress = listener.Progress();
    ASSERT_GE(progress.size(), 4U);
    EXPECT_EQ((std::vector<int>{progress[0], progress[1], progress[progress.size() - 2], progress.back()}),
              (std::vector<int>{20, 25, 95, 100}));
    EXPECT_EQ(listener.Calls().back(), "complete 1");
    EXPECT_EQ(smart.stitcher.GetTranslations(), std::vector<Translation>(2, Translation(-5, 0)));

    RecordingListener refusing;
    refusing.progressAnswer = [](int, std::size_t) { return false; };
    smart.result = cv::Mat();
    EXPECT_FALSE(smart.Stitch(Scrolling(20), &refusing));
    EXPECT_EQ(refusing.Log(), "progress 20, error 4, complete 0");
    EXPECT_TRUE(smart.result.empty());

    RecordingListener empty;
    EXPECT_FALSE(smart.Stitch({}, &empty));
    EXPECT_EQ(empty.Log(), "error 1, complete 0");
    smart.detector->failing = true;
    RecordingListener failed;
    Testing::StderrOf([&] { EXPECT_FALSE(smart.Stitch(Scrolling(20), &failed)); });
    EXPECT_EQ(failed.Log(), "progress 20, progress 25, complete 0");
}

}  // namespace
}  // namespace Stitching
}  // namespace ZOLT
