// zolt-stitch run as a process on the bundled samples and on synthetic series.

#include "ToolProcess.h"

#include "CaptureFiles.h"
#include "Options.h"
#include "SyntheticCaptures.h"
#include "TestImages.h"

#include <ZOLT/Stitching.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace ZOLT {
namespace Testing {
namespace {

const std::string kSamples = ZOLT_SAMPLE_CAPTURES;

/// The translations of the tool's JSON file, which writes one of them a line.
std::vector<Stitching::Translation> ReadTranslations(const std::string& path)
{
    std::vector<Stitching::Translation> translations;
    std::ifstream lines(path);
    std::string line;
    while (std::getline(lines, line)) {
        int from = 0;
        int to = 0;
        int rows = 0;
        int cols = 0;
        if (std::sscanf(line.c_str(), " {\"from\": %d, \"to\": %d, \"rows\": %d, \"cols\": %d}", &from, &to, &rows,
                        &cols) == 4) {
            EXPECT_EQ(from, static_cast<int>(translations.size()));
            EXPECT_EQ(to, from + 1);
            translations.emplace_back(rows, cols);
        }
    }
    return translations;
}

/// A small series scrolled down by `step` rows per capture.
CaptureSeries VerticalSeries(int count, int step)
{
    const cv::Mat page = MakePage(cv::Size(160, 140 + count * step), 2, false);
    return CutSeries(page, cv::Size(160, 120), VerticalOffsets(count, step));
}

TEST(StitchCommand, BundledSamplesStitchToCaptureHeightPlusTotalScrollWithEveryStitcher)
{
    const std::vector<std::filesystem::path> files = StitchTool::ListCaptureFiles({kSamples});
    const cv::Mat first = ReadCapture(files.front().string());
    for (const std::string stitcher : {"basic", "borders", "smart"}) {
        SCOPED_TRACE(stitcher);
        const TempFolder folder;
        const ToolRun run = RunTool({kSamples, "-o", folder / "stitched.png", "--stitcher", stitcher});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(run.out.find(folder / "stitched.png"), std::string::npos) << run.out;  // the summary names it
        // zolt-make-samples scrolls by 140 + 95 + 170 + 120 + 150 rows in all.
        EXPECT_EQ(ReadCapture(folder / "stitched.png").size(), first.size() + cv::Size(0, 675));
        EXPECT_EQ(folder.Entries(), std::vector<std::string>{"stitched.png"});  // no temporary file remains
    }

    // The translations file lists what the library measures on the same captures, and the
    // preview is drawn: a canvas of at least 750 pixels square with more than background on it.
    const TempFolder folder;
    const ToolRun run = RunTool({kSamples, "-o", folder / "out.png", "--translations", folder / "moves.json",
                                 "--preview", folder / "preview.png", "-q"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.out.empty()) << "--quiet prints no summary: " << run.out;
    const StitchTool::Options defaults;
    BasicImageProvider provider;
    for (const auto& file : files) {
        cv::Mat capture = ReadCapture(file.string());
        provider.Add(capture);
    }
    const auto stitcher = Stitching::StitcherFactory::CreateStitcherWithBasicBorderDetection(
        defaults.parameters, defaults.changeThreshold, defaults.neighborThreshold);
    cv::Mat result;
    ASSERT_TRUE(stitcher->Stitch(provider, result, nullptr, 0, 100, true));
    ASSERT_EQ(stitcher->GetTranslations().size(), 5U);
    EXPECT_EQ(ReadTranslations(folder / "moves.json"), stitcher->GetTranslations());
    const cv::Mat preview = cv::imread(folder / "preview.png", cv::IMREAD_UNCHANGED);
    ASSERT_EQ(preview.type(), CV_8UC4);
    EXPECT_GE(std::min(preview.cols, preview.rows), 750);
    cv::Mat background;
    cv::inRange(preview, cv::Scalar(0, 0, 0, 255), cv::Scalar(0, 0, 0, 255), background);
    EXPECT_LT(cv::countNonZero(background), preview.rows * preview.cols);
}

TEST(StitchCommand, MemoryLimitGivesTheSameImageAndCleansUpItsSpillFiles)
{
    const TempFolder folder;
    ASSERT_EQ(RunTool({kSamples, "-o", folder / "plain.png", "-q"}).exitCode, 0);
    // A limit of 0 spills every capture but the two most recently used.
    const TempFolder spill;
    const ToolRun named = RunTool(
        {kSamples, "-o", folder / "named.png", "--memory-limit", "0", "--spill-dir", spill.Path().string(), "-q"});
    ASSERT_EQ(named.exitCode, 0) << named.err;
    EXPECT_TRUE(spill.Entries().empty());
    // Without --spill-dir the spill folder is made in the temporary folder and removed again.
    const TempFolder temporary;
    const ToolRun fresh = RunTool({kSamples, "-o", folder / "fresh.png", "--memory-limit=0", "-q"},
                                  {"TMPDIR=" + temporary.Path().string()});
    ASSERT_EQ(fresh.exitCode, 0) << fresh.err;
    EXPECT_TRUE(temporary.Entries().empty());
    const cv::Mat expected = ReadCapture(folder / "plain.png");
    EXPECT_TRUE(SamePixels(ReadCapture(folder / "named.png"), expected));
    EXPECT_TRUE(SamePixels(ReadCapture(folder / "fresh.png"), expected));
}

TEST(StitchCommand, FolderImagesAreTakenInNaturalOrderAndOtherFilesSkipped)
{
    const CaptureSeries series = VerticalSeries(11, 20);
    const TempFolder captures;
    std::vector<std::string> names;
    for (int i = 1; i <= 11; ++i) {
        names.push_back("shot " + std::to_string(i) + ".PNG");
    }
    WriteCaptures(series.captures, captures, names);
    std::ofstream(captures / "notes.txt") << "not a capture";
    std::ofstream(captures / ".hidden.png") << "not a capture either";
    std::filesystem::create_directory(captures / "nested.png");
    const TempFolder folder;
    const ToolRun run = RunTool({captures.Path().string(), "-o", folder / "out.png", "--translations",
                                 folder / "moves.json", "--stitcher", "basic", "--direction", "vertical", "-q"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // Name order (1, 10, 11, 2, ...) would jump back and forth; natural order scrolls evenly.
    EXPECT_EQ(ReadTranslations(folder / "moves.json"), series.Translations());
    EXPECT_TRUE(SamePixels(ReadCapture(folder / "out.png"), series.CoveredPage()));
}

TEST(StitchCommand, OneCaptureIsWrittenAsItIsWithItsAlpha)
{
    const TempFolder folder;
    cv::Mat capture = VerticalSeries(1, 0).captures[0].clone();
    // Transparent and half-transparent parts must come through unchanged.
    capture(cv::Rect(0, 0, 40, 30)).setTo(cv::Scalar(0, 0, 0, 0));
    capture(cv::Rect(50, 40, 30, 20)).setTo(cv::Scalar(10, 200, 30, 128));
    WriteCaptures({capture}, folder, {"only.png"});
    for (const std::string stitcher : {"basic", "borders", "smart"}) {
        const ToolRun run = RunTool({folder / "only.png", "-o", folder / "out.png", "--stitcher", stitcher, "-q"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(SamePixels(ReadCapture(folder / "out.png"), capture)) << stitcher;
    }
    // A grey file becomes four channels with an opaque alpha channel.
    cv::Mat grey;
    cv::cvtColor(capture, grey, cv::COLOR_RGBA2GRAY);
    cv::imwrite(folder / "grey.png", grey);
    const ToolRun run = RunTool({folder / "grey.png", "-o", folder / "grey-out.png", "-q"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    cv::Mat channels[4];
    cv::split(cv::imread(folder / "grey-out.png", cv::IMREAD_UNCHANGED), channels);
    EXPECT_EQ(cv::countNonZero(channels[3] != 255), 0);
    EXPECT_TRUE(SamePixels(channels[0], grey));
}

TEST(StitchCommand, HelpAndVersionAnswerOnStandardOutput)
{
    const ToolRun help = RunTool({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* option : {"--stitcher", "--direction", "--threads", "--alternative-peak", "--min-peak",
                               "--max-zero-percent", "--max-zero-run", "--difference-threshold", "--min-border-width",
                               "--scale-factor", "--change-threshold", "--neighbor-threshold", "--memory-limit",
                               "--spill-dir", "--preview", "--translations", "--quiet", "--version"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
    const ToolRun version = RunTool({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_NE(version.out.find(ZOLT_STITCHING_VERSION_STRING), std::string::npos) << version.out;
}

}  // namespace
}  // namespace Testing
}  // namespace ZOLT
