// The parts of zolt-stitch that can be checked without running it: name order, the command
// line, the listener, the console and the output files.

#include "Cancellation.h"
#include "CaptureFiles.h"
#include "CaptureLoading.h"
#include "Console.h"
#include "ConsoleListener.h"
#include "ExitCodes.h"
#include "Options.h"
#include "OutputFiles.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <thread>

namespace ZOLT {
namespace StitchTool {
namespace {

using Stitching::IStitcherListener;

TEST(NaturalOrder, NumbersCompareByValueLettersWithoutCaseAndImageExtensionsInAnyCase)
{
    std::vector<std::string> names = {"shot 10.png", "shot 2.png", "Shot 1.png",  "shot 02.png", "b.png",
                                      "A.png",       "shot.png",   "shot 1a.png", "shot 100.png"};
    std::sort(names.begin(), names.end(), NaturalLess);
    EXPECT_EQ(names, (std::vector<std::string>{"A.png", "b.png", "Shot 1.png", "shot 1a.png", "shot 02.png",
                                               "shot 2.png", "shot 10.png", "shot 100.png", "shot.png"}));
    // Equal names are not less than themselves; long digit runs do not overflow.
    EXPECT_FALSE(NaturalLess("a1", "a1"));
    EXPECT_TRUE(NaturalLess("x99999999999999999999999", "x100000000000000000000000"));
    for (const char* name : {"a/b.PNG", "c.jpeg", "d.WebP"}) {
        EXPECT_TRUE(HasImageExtension(name)) << name;
    }
    EXPECT_FALSE(HasImageExtension("notes.txt"));
    EXPECT_FALSE(HasImageExtension("png"));
}

TEST(CommandLine, EveryOptionReachesItsValueAndDefaultsUseEveryCore)
{
    const CommandLine defaults = ParseCommandLine({"in.png", "-o", "out.png"});
    EXPECT_EQ(defaults.action, Action::Run);
    EXPECT_EQ(defaults.options.stitcher, StitcherKind::Borders);
    EXPECT_EQ(defaults.options.parameters.maxThreads, static_cast<int>(std::max(1U, std::thread::hardware_concurrency())));
    EXPECT_FALSE(defaults.options.boundedMemory || defaults.options.quiet);

    const Options options = ParseCommandLine(
        {"-o", "out.png", "--stitcher", "smart", "--direction=horizontal", "-j3", "--alternative-peak", "--min-peak",
         "1250.5", "--max-zero-percent", "45", "--max-zero-run=7", "--difference-threshold", "90",
         "--min-border-width", "12", "--scale-factor", "2", "--change-threshold", "30", "--neighbor-threshold", "5",
         "--memory-limit", "64", "--spill-dir", "/spill", "--preview", "p.png", "--translations", "t.json", "-q",
         "--", "-dash.png", "in.png"})
                                .options;
    EXPECT_EQ(options.output, "out.png");
    EXPECT_EQ(options.stitcher, StitcherKind::Smart);
    EXPECT_EQ(options.parameters.direction, 1);
    EXPECT_EQ(options.parameters.maxThreads, 3);
    EXPECT_TRUE(options.parameters.useAlternativePeak);
    EXPECT_EQ(options.parameters.minimumPeakValue, 1250.5);
    EXPECT_EQ(options.parameters.maxZeroTranslationsPercent, 45U);
    EXPECT_EQ(options.parameters.maxConsecutiveZeroTranslations, 7U);
    EXPECT_EQ(options.parameters.differenceThreshold, 90);
    EXPECT_EQ(options.parameters.minimumBorderWidth, 12);
    EXPECT_EQ(options.scaleFactor, 2U);
    EXPECT_EQ(options.changeThreshold, 30U);
    EXPECT_EQ(options.neighborThreshold, 5U);
    EXPECT_TRUE(options.boundedMemory);
    EXPECT_EQ(options.memoryLimitBytes, 64U * 1024U * 1024U);
    EXPECT_EQ(options.spillFolder, "/spill");
    EXPECT_EQ(options.previewFile, "p.png");
    EXPECT_EQ(options.translationsFile, "t.json");
    EXPECT_TRUE(options.quiet);
    // After "--" everything is an input, even what looks like an option.
    EXPECT_EQ(options.inputs, (std::vector<std::string>{"-dash.png", "in.png"}));
    // Help and version need nothing else on the line.
    EXPECT_EQ(ParseCommandLine({"--help"}).action, Action::ShowHelp);
    EXPECT_EQ(ParseCommandLine({"in.png", "-V"}).action, Action::ShowVersion);
}

TEST(CommandLine, ValuesOutsideTheirRangeAreRefused)
{
    const std::vector<std::vector<std::string>> refused = {
        {"--threads", "0"}, {"--threads", "2.5"}, {"--max-zero-percent", "101"}, {"--change-threshold", "256"},
        {"--neighbor-threshold", "9"}, {"--scale-factor", "0"}, {"--min-peak", "nan"}, {"--min-border-width", "-1"},
        {"--memory-limit", "lots"}, {"--difference-threshold", " 5"}, {"--direction", "up"},
        // The smart stitcher's margin threshold is their product in 32 bits.
        {"--min-border-width", "70000", "--scale-factor", "70000"}};
    for (std::vector<std::string> arguments : refused) {
        arguments.insert(arguments.begin(), {"in.png", "-o", "out.png"});
        try {
            ParseCommandLine(arguments);
            ADD_FAILURE() << arguments[3] << " " << arguments[4] << " was accepted";
        } catch (const ToolError& error) {
            EXPECT_EQ(error.Code(), ExitCode::Usage) << arguments[3] << " " << arguments[4];
        }
    }
}

TEST(ConsoleListener, CollectsConcurrentWarningsIntoOnePlainReportEach)
{
    std::ostringstream errors;
    std::ostringstream summary;
    Console console(errors, summary, Console::ProgressStyle::Silent);
    ConsoleListener listener(console, Stitching::StitcherParameters(), 40);
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&listener] {
            for (int i = 0; i < 10; ++i) {
                listener.OnWarning(IStitcherListener::WeakCorrelation);
                EXPECT_TRUE(listener.OnProgress(i * 10));
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    listener.OnWarning(IStitcherListener::DiagonalTranslation);
    listener.OnWarning(IStitcherListener::TooManyZeroTranslations);
    EXPECT_TRUE(listener.OnError(IStitcherListener::BorderApplicationFailed, true));
    EXPECT_FALSE(listener.OnError(IStitcherListener::ResultSizingFailed, false));
    EXPECT_EQ(listener.LastError(), IStitcherListener::ResultSizingFailed);

    const std::vector<std::string> texts = listener.WarningTexts();
    ASSERT_EQ(texts.size(), 4U);
    EXPECT_EQ(texts[0].rfind("40 of 40 capture pairs matched only weakly (correlation peak below --min-peak 50000)", 0),
              0U)
        << texts[0];
    EXPECT_NE(texts[1].find("more than 30% of the captures did not move"), std::string::npos) << texts[1];
    EXPECT_NE(texts[2].find("moved both across and down"), std::string::npos) << texts[2];
    EXPECT_NE(texts[3].find("without them"), std::string::npos) << texts[3];
    EXPECT_TRUE(errors.str().empty());

    // The stop request is process-wide and cannot be taken back: check it in a child process.
    EXPECT_EXIT(
        {
            const bool before = listener.OnProgress(10);
            RequestCancel();
            std::exit(before && !listener.OnProgress(20) && CancelRequested() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(Console, PlainLinesAtEveryTenthAndABarRedrawnInPlace)
{
    std::ostringstream lines;
    std::ostringstream summary;
    Console plain(lines, summary, Console::ProgressStyle::Lines);
    for (int percent = 0; percent <= 100; ++percent) {
        plain.Progress("Stitching", percent);
        plain.Progress("Stitching", percent);
    }
    plain.Summary("done");
    const std::string text = lines.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 11);
    EXPECT_EQ(text.rfind("zolt-stitch: Stitching: 0% (0:0", 0), 0U) << text;
    EXPECT_NE(text.find("Stitching: 100%"), std::string::npos);
    EXPECT_EQ(summary.str(), "done\n");

    std::ostringstream bar;
    Console drawn(bar, summary, Console::ProgressStyle::Bar);
    drawn.Progress("Loading 2 captures", 50);
    drawn.Warning("careful");
    drawn.EndProgress();
    EXPECT_EQ(bar.str().rfind("\rLoading 2 captures [###############...............] 50%  0:0", 0), 0U) << bar.str();
    // The warning starts on a cleared line.
    EXPECT_NE(bar.str().find("\rzolt-stitch: warning: careful\n"), std::string::npos) << bar.str();
    EXPECT_EQ(FormatElapsed(65), "1:05");
}

TEST(OutputFiles, TranslationsJsonAndAPendingFileThatReplacesTheTargetOnlyOnCommit)
{
    EXPECT_EQ(TranslationsJson(1, {}), "{\n  \"captures\": 1,\n  \"translations\": []\n}\n");
    EXPECT_EQ(TranslationsJson(3, {Stitching::Translation(-120, 0), Stitching::Translation(4, -7)}),
              "{\n  \"captures\": 3,\n  \"translations\": [\n"
              "    {\"from\": 0, \"to\": 1, \"rows\": -120, \"cols\": 0},\n"
              "    {\"from\": 1, \"to\": 2, \"rows\": 4, \"cols\": -7}\n  ]\n}\n");

    const Testing::TempFolder folder;
    const std::string target = folder / "result.txt";
    std::ofstream(target) << "old";
    const auto read = [&target] {
        std::ostringstream text;
        text << std::ifstream(target).rdbuf();
        return text.str();
    };
    const std::vector<unsigned char> bytes{'n', 'e', 'w'};
    {
        PendingFile abandoned(target, bytes);
        EXPECT_EQ(folder.Entries().size(), 2U);
        EXPECT_EQ(read(), "old");
    }
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"result.txt"});
    PendingFile(target, bytes).Commit();
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"result.txt"});
    EXPECT_EQ(read(), "new");
}

TEST(CaptureLoading, ImagesAboveTheCaptureLimitAreRefusedAfterDecoding)
{
    // 8200 x 8200 grey pixels fit what a decoder may allocate, but not a capture.
    const ZOLT::Testing::TempFolder folder;
    const std::string path = folder / "large.png";
    ASSERT_TRUE(cv::imwrite(path, cv::Mat::zeros(8200, 8200, CV_8UC1)));
    try {
        LoadCapture(path);
        FAIL() << "an image of 8200 x 8200 pixels was loaded";
    } catch (const ToolError& error) {
        EXPECT_EQ(error.Code(), ExitCode::InputError);
        EXPECT_EQ(std::string(error.what()), "'" + path + "' is too large for a capture (at most 67108864 pixels)");
    }
    // The decoding limit is gone once loading ends: large matrices can be made again.
    EXPECT_NO_THROW(cv::Mat(8200, 8200, CV_8UC4));
}

}  // namespace
}  // namespace StitchTool
}  // namespace ZOLT
