// The parts of zolt-stitch that can be checked without running it: name order, the command
// line, the listener and the console.

#include "Cancellation.h"
#include "CaptureFiles.h"
#include "CaptureLoading.h"
#include "Console.h"
#include "ConsoleListener.h"
#include "ExitCodes.h"
#include "Options.h"
#include "OutputFiles.h"
#include "ToolProcess.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <thread>

using namespace ZOLT::StitchTool;
using ZOLT::Stitching::IStitcherListener;
using ZOLT::Stitching::Translation;

namespace {

CommandLine Parse(std::vector<std::string> arguments)
{
    arguments.insert(arguments.end(), {"in.png", "-o", "out.png"});
    return ParseCommandLine(arguments);
}

ExitCode UsageCodeOf(const std::vector<std::string>& arguments)
{
    try {
        ParseCommandLine(arguments);
    } catch (const ToolError& error) {
        return error.Code();
    }
    return ExitCode::Ok;
}

}  // namespace

TEST(NaturalOrder, NumbersCompareByValueAndLettersWithoutCase)
{
    std::vector<std::string> names = {"shot 10.png", "shot 2.png", "Shot 1.png",  "shot 02.png", "b.png",
                                      "A.png",       "shot.png",   "shot 1a.png", "shot 100.png"};
    std::sort(names.begin(), names.end(), NaturalLess);
    const std::vector<std::string> expected = {"A.png",       "b.png",        "Shot 1.png",
                                               "shot 1a.png", "shot 02.png",  "shot 2.png",
                                               "shot 10.png", "shot 100.png", "shot.png"};
    EXPECT_EQ(names, expected);
    // Equal names are not less than themselves; long digit runs do not overflow.
    EXPECT_FALSE(NaturalLess("a1", "a1"));
    EXPECT_TRUE(NaturalLess("x99999999999999999999999", "x100000000000000000000000"));
}

TEST(NaturalOrder, ImageExtensionsAreRecognisedInAnyCase)
{
    EXPECT_TRUE(HasImageExtension("a/b.PNG"));
    EXPECT_TRUE(HasImageExtension("c.jpeg"));
    EXPECT_TRUE(HasImageExtension("d.WebP"));
    EXPECT_FALSE(HasImageExtension("notes.txt"));
    EXPECT_FALSE(HasImageExtension("png"));
}

TEST(CommandLine, DefaultsAreTheLibrarysWithThreadsPerCore)
{
    const CommandLine parsed = Parse({});
    const ZOLT::Stitching::StitcherParameters library;
    const Options& options = parsed.options;
    EXPECT_EQ(parsed.action, Action::Run);
    EXPECT_EQ(options.inputs, std::vector<std::string>{"in.png"});
    EXPECT_EQ(options.output, "out.png");
    EXPECT_EQ(options.stitcher, StitcherKind::Borders);
    EXPECT_EQ(options.parameters.direction, library.direction);
    EXPECT_EQ(options.parameters.useAlternativePeak, library.useAlternativePeak);
    EXPECT_EQ(options.parameters.maxThreads, static_cast<int>(std::max(1U, std::thread::hardware_concurrency())));
    EXPECT_EQ(options.parameters.maxZeroTranslationsPercent, library.maxZeroTranslationsPercent);
    EXPECT_EQ(options.parameters.maxConsecutiveZeroTranslations, library.maxConsecutiveZeroTranslations);
    EXPECT_EQ(options.parameters.minimumPeakValue, library.minimumPeakValue);
    EXPECT_EQ(options.parameters.differenceThreshold, library.differenceThreshold);
    EXPECT_EQ(options.parameters.minimumBorderWidth, library.minimumBorderWidth);
    EXPECT_EQ(options.scaleFactor, 1U);
    EXPECT_FALSE(options.boundedMemory);
    EXPECT_FALSE(options.quiet);
}

TEST(CommandLine, EveryOptionReachesItsValue)
{
    const std::vector<std::string> arguments = {
        "-o", "out.png", "--stitcher", "smart", "--direction=horizontal", "-j3", "--alternative-peak",
        "--min-peak", "1250.5", "--max-zero-percent", "45", "--max-zero-run=7", "--difference-threshold", "90",
        "--min-border-width", "12", "--scale-factor", "2", "--change-threshold", "30", "--neighbor-threshold", "5",
        "--memory-limit", "64", "--spill-dir", "/spill", "--preview", "p.png", "--translations", "t.json", "-q",
        "--", "-dash.png", "in.png"};
    const Options options = ParseCommandLine(arguments).options;
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
}

TEST(CommandLine, ValuesOutsideTheirRangeAreRefused)
{
    const auto withValue = [](const std::string& option, const std::string& value) {
        return std::vector<std::string>{"in.png", "-o", "out.png", option, value};
    };
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"--threads", "0"},          {"--threads", "2.5"},      {"--max-zero-percent", "101"},
        {"--change-threshold", "256"}, {"--neighbor-threshold", "9"}, {"--scale-factor", "0"},
        {"--min-peak", "nan"},       {"--min-border-width", "-1"}, {"--memory-limit", "lots"},
        {"--difference-threshold", " 5"}, {"--direction", "up"}};
    for (const auto& [option, bad] : refused) {
        EXPECT_EQ(UsageCodeOf(withValue(option, bad)), ExitCode::Usage) << option << " " << bad;
    }
    // The smart stitcher's margin threshold is their product in 32 bits.
    EXPECT_EQ(UsageCodeOf({"in.png", "-o", "out.png", "--min-border-width", "70000", "--scale-factor", "70000"}),
              ExitCode::Usage);
    // Help and version need nothing else on the line.
    EXPECT_EQ(ParseCommandLine({"--help"}).action, Action::ShowHelp);
    EXPECT_EQ(ParseCommandLine({"in.png", "-V"}).action, Action::ShowVersion);
}

TEST(ConsoleListener, CollectsConcurrentWarningsIntoOnePlainReportEach)
{
    std::ostringstream errors;
    std::ostringstream summary;
    Console console(errors, summary, Console::ProgressStyle::Silent);
    ZOLT::Stitching::StitcherParameters parameters;
    ConsoleListener listener(console, parameters, 40);

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
}

TEST(ConsoleListener, AnswersFalseOnceAStopWasRequested)
{
    // The stop request is process-wide and cannot be taken back: check it in a child process.
    EXPECT_EXIT(
        {
            std::ostringstream sink;
            Console console(sink, sink, Console::ProgressStyle::Silent);
            ConsoleListener listener(console, ZOLT::Stitching::StitcherParameters(), 1);
            const bool before = listener.OnProgress(10);
            RequestCancel();
            const bool after = listener.OnProgress(20);
            std::exit(before && !after && CancelRequested() ? 0 : 1);
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
    const std::string barText = bar.str();
    EXPECT_EQ(barText.rfind("\rLoading 2 captures [###############...............] 50%  0:0", 0), 0U) << barText;
    // The warning starts on a cleared line.
    EXPECT_NE(barText.find("\rzolt-stitch: warning: careful\n"), std::string::npos) << barText;
    EXPECT_EQ(FormatElapsed(65), "1:05");
}

TEST(OutputFiles, TranslationsJsonListsEveryPair)
{
    EXPECT_EQ(TranslationsJson(1, {}), "{\n  \"captures\": 1,\n  \"translations\": []\n}\n");
    EXPECT_EQ(TranslationsJson(3, {Translation(-120, 0), Translation(4, -7)}),
              "{\n  \"captures\": 3,\n  \"translations\": [\n"
              "    {\"from\": 0, \"to\": 1, \"rows\": -120, \"cols\": 0},\n"
              "    {\"from\": 1, \"to\": 2, \"rows\": 4, \"cols\": -7}\n  ]\n}\n");
}

TEST(OutputFiles, PendingFileReplacesTheTargetOnlyOnCommit)
{
    const ZOLT::Testing::ScratchFolder folder;
    const std::string target = folder / "result.txt";
    std::ofstream(target) << "old";
    const auto read = [&target] {
        std::ifstream file(target);
        return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    };
    const std::vector<unsigned char> bytes{'n', 'e', 'w'};
    {
        PendingFile abandoned(target, bytes);
        EXPECT_EQ(folder.Entries().size(), 2U);
        EXPECT_EQ(read(), "old");
    }
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"result.txt"});
    {
        PendingFile kept(target, bytes);
        kept.Commit();
    }
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"result.txt"});
    EXPECT_EQ(read(), "new");
}

TEST(CaptureLoading, ImagesAboveTheCaptureLimitAreRefusedAfterDecoding)
{
    // 8200 x 8200 grey pixels fit what a decoder may allocate, but not a capture.
    const ZOLT::Testing::ScratchFolder folder;
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
