// zolt-stitch: its command line, one run per kind of refusal, real stitches and a clean stop.

#include "ToolProcess.h"

#include "CaptureFiles.h"
#include "CaptureLoading.h"
#include "Cancellation.h"
#include "ConsoleListener.h"
#include "ExitCodes.h"
#include "ImageHeader.h"
#include "Options.h"
#include "OutputFiles.h"
#include "SyntheticCaptures.h"
#include "TestImages.h"

#include <ZOLT/Stitching.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <opencv2/imgcodecs.hpp>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace ZOLT {
namespace Testing {
namespace {

using StitchTool::ParseCommandLine;
const std::string kSamples = ZOLT_SAMPLE_CAPTURES;

TEST(CommandLine, AcceptsEveryFormAndRefusesWhatTheTableDoesNot)
{
    const StitchTool::Options options =
        ParseCommandLine({"-o", "out.png", "--stitcher", "smart", "--direction=horizontal", "-j3", "--min-peak",
                          "1250.5", "--max-zero-run=7", "--min-border-width", "012", "--memory-limit", "64",
                          "--translations", "t.json", "-q", "--", "-dash.png"})
            .options;
    EXPECT_EQ(options.stitcher, Cli::StitcherKind::Smart);
    EXPECT_EQ(options.parameters.direction, 1);
    EXPECT_EQ(options.parameters.maxThreads, 3);
    EXPECT_EQ(options.parameters.minimumPeakValue, 1250.5);
    EXPECT_EQ(options.parameters.maxConsecutiveZeroTranslations, 7U);
    EXPECT_EQ(options.parameters.minimumBorderWidth, 12);  // decimal, not octal
    EXPECT_TRUE(options.boundedMemory && options.quiet);
    EXPECT_EQ(options.memoryLimitBytes, 64U << 20);
    EXPECT_EQ(options.inputs, std::vector<std::string>{"-dash.png"});
    EXPECT_EQ(ParseCommandLine({"--help"}).action, Cli::Action::ShowHelp);

    for (const std::vector<std::string>& refused :
         std::vector<std::vector<std::string>>{{"--threads", "0"},
                                               {"-j", "0x4"},
                                               {"--max-zero-percent", "101"},
                                               {"--min-peak", "nan"},
                                               {"--neighbor-threshold", "9"},
                                               {"--stitcher", "fancy"},
                                               {"-o", "b.xyz"},
                                               {"--min-border-width", "70000", "--scale-factor", "70000"}}) {
        std::vector<std::string> arguments{"in.png", "-o", "out.png"};
        arguments.insert(arguments.end(), refused.begin(), refused.end());
        try {
            ParseCommandLine(arguments);
            ADD_FAILURE() << refused[0] << " was accepted";
        } catch (const Cli::ToolError& error) {
            EXPECT_EQ(error.Code(), Cli::ExitCode::Usage) << refused[0];
        }
    }
}

TEST(CaptureFiles, ComeInNaturalOrderAndAreSizedFromTheirHeadersWithoutDecoding)
{
    EXPECT_TRUE(StitchTool::NaturalLess("shot-9.png", "shot-10.png"));
    EXPECT_FALSE(StitchTool::NaturalLess("shot-10.png", "shot-9.png"));
    const TempFolder folder;
    for (const std::string extension : {"png", "jpg", "bmp", "tif", "webp", "pgm", "ppm"}) {
        const std::string path = folder / ("image." + extension);
        ASSERT_TRUE(cv::imwrite(path, cv::Mat(23, 37, extension == "pgm" ? CV_8UC1 : CV_8UC3, cv::Scalar::all(90))));
        const auto dimensions = StitchTool::ReadImageDimensions(path);
        ASSERT_TRUE(dimensions.has_value()) << extension;
        EXPECT_EQ(dimensions->width, 37U) << extension;
        EXPECT_EQ(dimensions->height, 23U) << extension;
    }
    std::ofstream(folder / "notes.txt") << "P5 is not an image";
    EXPECT_FALSE(StitchTool::ReadImageDimensions(folder / "notes.txt").has_value());
}

TEST(ToolRefusals, EachKindExitsWithItsCodeAndLeavesTheOldOutputAlone)
{
    const TempFolder in;
    const cv::Mat page = MakePage(cv::Size(120, 150), 5, false);
    const CaptureSeries series = CutSeries(page, cv::Size(120, 90), VerticalOffsets(2, 30));
    cv::imwrite(in / "first.png", Cli::ToFileChannelOrder(series.captures[0]));
    // 118 bytes that announce a 30000 x 30000 bitmap: decoding would reserve 2.7 GB first.
    const unsigned char header[54] = {'B', 'M', 118, 0,    0,    0, 0, 0,    0,    0, 54, 0, 0, 0, 40,
                                      0,   0,   0,   0x30, 0x75, 0, 0, 0x30, 0x75, 0, 0,  1, 0, 24};
    std::ofstream(in / "huge.bmp", std::ios::binary).write(reinterpret_cast<const char*>(header), 54)
        << std::string(64, '\0');
    const TempFolder out;
    const std::string output = out / "out.png";
    std::ofstream(output) << "previous result";
    const struct {
        std::vector<std::string> arguments;
        int exitCode;
        std::string message;
    } refusals[] = {
        {{in / "first.png", "-o", output, "--threads", "0"}, 2, "--threads: expects a whole number from 1"},
        {{in / "first.png", in / "missing.png", "-o", output}, 3, "missing.png' does not exist"},
        {{in / "huge.bmp", "-o", output}, 3, "huge.bmp' is too large for a capture (at most 67108864 pixels)"},
        {{in / "first.png", "-o", out / "none/out.png"}, 4, "folder '" + out / "none" + "' does not exist"},
        // Side margins sampled 12 x 40 rows above the bottom edge lie above the samples' top.
        {{kSamples, "-o", output, "--stitcher=smart", "--scale-factor", "40", "--min-border-width", "0"},
         1,
         "stitching failed: "},
    };
    for (const auto& refusal : refusals) {
        const ToolRun run = RunTool(refusal.arguments);
        EXPECT_EQ(run.exitCode, refusal.exitCode) << run.err;
        EXPECT_NE(run.err.find(refusal.message), std::string::npos) << run.err;
        EXPECT_EQ(out.Entries(), std::vector<std::string>{"out.png"});
    }
    std::ostringstream kept;
    kept << std::ifstream(output).rdbuf();
    EXPECT_EQ(kept.str(), "previous result");
}

TEST(ToolRuns, EveryConfigurationStitchesTheSamplesAndTheMemoryLimitChangesNothing)
{
    const TempFolder out;
    for (const std::string stitcher : {"page", "basic", "smart", "borders"}) {
        const ToolRun run = RunTool({kSamples, "-o", out / (stitcher + ".png"), "--stitcher", stitcher,
                                     "--translations", out / (stitcher + ".json"), "-j2"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(run.out.find(stitcher + " stitcher"), std::string::npos) << run.out;
        // zolt-make-samples scrolls by 140 + 95 + 170 + 120 + 150 rows in all.
        EXPECT_EQ(cv::imread(out / (stitcher + ".png")).rows, 370 + 675) << stitcher;
    }
    BasicImageProvider provider;
    for (const std::filesystem::path& file : StitchTool::ListCaptureFiles({kSamples})) {
        cv::Mat capture = StitchTool::LoadCapture(file);
        provider.Add(capture);
    }
    const StitchTool::Options defaults;
    const auto stitcher = Stitching::StitcherFactory::CreatePageStitcher(defaults.parameters);
    cv::Mat expected;
    ASSERT_TRUE(stitcher->Stitch(provider, expected, nullptr, 0, 100, true));
    const nlohmann::json moves = nlohmann::json::parse(std::ifstream(out / "page.json"));
    ASSERT_EQ(moves["translations"].size(), stitcher->GetTranslations().size());
    for (std::size_t i = 0; i < moves["translations"].size(); ++i) {
        const nlohmann::json& move = moves["translations"][i];
        EXPECT_EQ(Stitching::Translation(move["rows"], move["cols"]), stitcher->GetTranslations()[i]);
        EXPECT_EQ(move["to"], i + 1);
    }
    // A limit of 0 spills every capture; the fresh spill folder is removed again.
    const TempFolder temporary;
    ::setenv("TMPDIR", temporary.Path().c_str(), 1);
    const ToolRun bounded = RunTool({kSamples, "-o", out / "bounded.png", "--memory-limit=0", "-q"});
    ::unsetenv("TMPDIR");
    ASSERT_EQ(bounded.exitCode, 0) << bounded.err;
    EXPECT_TRUE(bounded.out.empty());
    EXPECT_TRUE(temporary.Entries().empty());
    EXPECT_TRUE(SamePixels(StitchTool::LoadCapture(out / "bounded.png"), expected));
}

TEST(ToolRuns, AStopSignalEndsTheRunWithNothingWritten)
{
    // While stitching, the next progress report passes the stop on.
    std::ostringstream sink;
    Cli::Console console("zolt-stitch", sink, sink, Cli::Console::ProgressStyle::Silent);
    Cli::ConsoleListener listener(console, StitchTool::Options().parameters, 1);
    EXPECT_TRUE(listener.OnProgress(10));
    Cli::RequestCancel();
    EXPECT_FALSE(listener.OnProgress(20));

    const TempFolder in;
    cv::imwrite(in / "first.png", cv::Mat(90, 120, CV_8UC3, cv::Scalar(1, 2, 3)));
    // The second capture is a pipe: reading it keeps the tool waiting until the test lets go.
    const std::string slow = in / "second.png";
    ASSERT_EQ(::mkfifo(slow.c_str(), 0600), 0);
    const TempFolder out;
    ToolProcess tool({in / "first.png", slow, "-o", out / "out.png", "--preview", out / "preview.png"});
    int writer = -1;
    for (int attempt = 0; attempt < 3000 && writer < 0; ++attempt) {
        writer = ::open(slow.c_str(), O_WRONLY | O_NONBLOCK);
        std::this_thread::sleep_for(std::chrono::milliseconds(writer < 0 ? 10 : 0));
    }
    ASSERT_GE(writer, 0) << "the tool never read the second capture";
    tool.Signal(SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the handler runs before the read ends
    ::close(writer);
    const ToolRun run = tool.Finish();
    EXPECT_EQ(run.exitCode, 130) << run.err;
    EXPECT_NE(run.err.find("cancelled; nothing was written"), std::string::npos) << run.err;
    EXPECT_TRUE(out.Entries().empty());
}

}  // namespace
}  // namespace Testing
}  // namespace ZOLT
