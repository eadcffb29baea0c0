// zolt-stitch run as a process on the bundled samples and on synthetic series.

#include "ToolProcess.h"

#include "CaptureFiles.h"
#include "Options.h"
#include "SyntheticCaptures.h"

#include <ZOLT/Stitching.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <fstream>
#include <cstdio>
#include <sstream>

using ZOLT::Stitching::Translation;
using ZOLT::Testing::ReadCapture;
using ZOLT::Testing::RunTool;
using ZOLT::Testing::SameImage;
using ZOLT::Testing::ScratchFolder;
using ZOLT::Testing::ToolRun;

namespace {

namespace fs = std::filesystem;

/// How far zolt-make-samples scrolls the bundled samples in all: 140 + 95 + 170 + 120 + 150 rows.
constexpr int SAMPLE_TOTAL_SCROLL = 675;

const std::string SAMPLES = ZOLT_SAMPLE_CAPTURES;

std::string ReadText(const std::string& path)
{
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

/// The translations of the tool's JSON file, which writes one of them a line.
std::vector<Translation> ParseTranslations(const std::string& json)
{
    std::vector<Translation> translations;
    std::istringstream lines(json);
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

std::vector<std::string> SampleFiles()
{
    std::vector<std::string> files;
    for (const fs::path& file : ZOLT::StitchTool::ListCaptureFiles({SAMPLES})) {
        files.push_back(file.string());
    }
    return files;
}

/// A small series scrolled down by `step` rows per capture.
ZOLT::Testing::CaptureSeries VerticalSeries(int count, int step)
{
    const cv::Mat page = ZOLT::Testing::MakePage(cv::Size(160, 140 + count * step), 2, false);
    return ZOLT::Testing::CutSeries(page, cv::Size(160, 120), ZOLT::Testing::VerticalOffsets(count, step));
}

}  // namespace

TEST(StitchCommand, BundledSamplesStitchToCaptureHeightPlusTotalScroll)
{
    const cv::Mat first = ReadCapture(SampleFiles().front());
    for (const std::string stitcher : {"basic", "borders", "smart"}) {
        SCOPED_TRACE(stitcher);
        const ScratchFolder folder;
        const std::string output = folder / "stitched.png";
        const ToolRun run = RunTool({SAMPLES, "-o", output, "--stitcher", stitcher});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        // The summary names the file and its size.
        EXPECT_NE(run.out.find(output), std::string::npos) << run.out;
        const cv::Mat stitched = ReadCapture(output);
        EXPECT_EQ(stitched.rows, first.rows + SAMPLE_TOTAL_SCROLL);
        EXPECT_EQ(stitched.cols, first.cols);
        // Only the result is left in the folder: no temporary file remains.
        EXPECT_EQ(folder.Entries(), std::vector<std::string>{"stitched.png"});
    }
}

TEST(StitchCommand, TranslationsFileListsWhatTheLibraryMeasured)
{
    const ScratchFolder folder;
    const ToolRun run = RunTool({SAMPLES, "-o", folder / "out.png", "--translations", folder / "moves.json", "-q"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.out.empty()) << "--quiet prints no summary: " << run.out;
    const std::string json = ReadText(folder / "moves.json");
    EXPECT_NE(json.find("\"captures\": 6"), std::string::npos) << json;

    // The same configuration, built directly, over the same captures.
    const ZOLT::StitchTool::Options defaults;
    ZOLT::BasicImageProvider provider;
    for (const std::string& file : SampleFiles()) {
        cv::Mat capture = ReadCapture(file);
        provider.Add(capture);
    }
    const auto stitcher = ZOLT::Stitching::StitcherFactory::CreateStitcherWithBasicBorderDetection(
        defaults.parameters, defaults.changeThreshold, defaults.neighborThreshold);
    cv::Mat result;
    ASSERT_TRUE(stitcher->Stitch(provider, result, nullptr, 0, 100, true));
    const std::vector<Translation> expected = stitcher->GetTranslations();
    ASSERT_EQ(expected.size(), 5U);
    EXPECT_EQ(ParseTranslations(json), expected);
    EXPECT_EQ(expected.front(), Translation(-140, 0));
}

TEST(StitchCommand, MemoryLimitGivesTheSameImageAndCleansUpItsSpillFiles)
{
    const ScratchFolder folder;
    const ToolRun plain = RunTool({SAMPLES, "-o", folder / "plain.png", "-q"});
    ASSERT_EQ(plain.exitCode, 0) << plain.err;

    // A limit of 0 spills every capture but the two most recently used.
    const ScratchFolder spill;
    const ToolRun named = RunTool(
        {SAMPLES, "-o", folder / "named.png", "--memory-limit", "0", "--spill-dir", spill.Path().string(), "-q"});
    ASSERT_EQ(named.exitCode, 0) << named.err;
    EXPECT_TRUE(spill.Entries().empty());

    // Without --spill-dir the spill folder is made in the temporary folder and removed again.
    const ScratchFolder temporary;
    const ToolRun fresh = RunTool({SAMPLES, "-o", folder / "fresh.png", "--memory-limit=0", "-q"},
                                  {"TMPDIR=" + temporary.Path().string()});
    ASSERT_EQ(fresh.exitCode, 0) << fresh.err;
    EXPECT_TRUE(temporary.Entries().empty());

    const cv::Mat expected = ReadCapture(folder / "plain.png");
    EXPECT_TRUE(SameImage(ReadCapture(folder / "named.png"), expected));
    EXPECT_TRUE(SameImage(ReadCapture(folder / "fresh.png"), expected));
}

TEST(StitchCommand, PreviewIsWrittenBesideTheResult)
{
    const ScratchFolder folder;
    const ToolRun run = RunTool({SAMPLES, "-o", folder / "out.png", "--preview", folder / "preview.png", "-q"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const cv::Mat preview = cv::imread(folder / "preview.png", cv::IMREAD_UNCHANGED);
    ASSERT_FALSE(preview.empty());
    EXPECT_EQ(preview.channels(), 4);
    // The default canvas is 750 pixels square and grows to take the scaled captures.
    EXPECT_GE(preview.cols, 750);
    EXPECT_GE(preview.rows, 750);
    // Something besides the opaque black background was drawn.
    cv::Mat drawn;
    cv::inRange(preview, cv::Scalar(0, 0, 0, 255), cv::Scalar(0, 0, 0, 255), drawn);
    EXPECT_LT(cv::countNonZero(drawn), preview.rows * preview.cols);
}

TEST(StitchCommand, FolderImagesAreTakenInNaturalOrderAndOtherFilesSkipped)
{
    const int count = 11;
    const int step = 20;
    const auto series = VerticalSeries(count, step);
    const ScratchFolder captures;
    std::vector<std::string> names;
    for (int i = 1; i <= count; ++i) {
        names.push_back("shot " + std::to_string(i) + ".PNG");
    }
    ZOLT::Testing::WriteCaptures(series.captures, captures, names);
    std::ofstream(captures / "notes.txt") << "not a capture";
    std::ofstream(captures / ".hidden.png") << "not a capture either";
    fs::create_directory(captures / "nested.png");

    const ScratchFolder folder;
    const ToolRun run = RunTool({captures.Path().string(), "-o", folder / "out.png", "--translations",
                                 folder / "moves.json", "--stitcher", "basic", "--direction", "vertical", "-q"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // Name order (1, 10, 11, 2, ...) would jump back and forth; natural order scrolls evenly.
    EXPECT_EQ(ParseTranslations(ReadText(folder / "moves.json")), series.Translations());
    const cv::Mat stitched = ReadCapture(folder / "out.png");
    EXPECT_EQ(stitched.rows, series.captures[0].rows + (count - 1) * step);
    EXPECT_TRUE(SameImage(stitched, series.CoveredPage()));
}

TEST(StitchCommand, OneCaptureIsWrittenAsItIsWithItsAlpha)
{
    const ScratchFolder folder;
    cv::Mat capture = VerticalSeries(1, 0).captures[0].clone();
    // Transparent and half-transparent parts must come through unchanged.
    capture(cv::Rect(0, 0, 40, 30)).setTo(cv::Scalar(0, 0, 0, 0));
    capture(cv::Rect(50, 40, 30, 20)).setTo(cv::Scalar(10, 200, 30, 128));
    ZOLT::Testing::WriteCaptures({capture}, folder, {"only.png"});
    const std::vector<int> compression{cv::IMWRITE_PNG_COMPRESSION, 1};
    cv::Mat grey;
    cv::cvtColor(capture, grey, cv::COLOR_RGBA2GRAY);
    cv::imwrite(folder / "grey.png", grey, compression);

    for (const std::string stitcher : {"basic", "borders", "smart"}) {
        SCOPED_TRACE(stitcher);
        const ToolRun run = RunTool({folder / "only.png", "-o", folder / "out.png", "--stitcher", stitcher, "-q"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(SameImage(ReadCapture(folder / "out.png"), capture));
    }

    // A grey file becomes four channels with an opaque alpha channel.
    const ToolRun run = RunTool({folder / "grey.png", "-o", folder / "grey-out.png", "-q"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const cv::Mat written = cv::imread(folder / "grey-out.png", cv::IMREAD_UNCHANGED);
    ASSERT_EQ(written.channels(), 4);
    cv::Mat channels[4];
    cv::split(written, channels);
    EXPECT_EQ(cv::countNonZero(channels[3] != 255), 0);
    EXPECT_TRUE(SameImage(channels[0], grey));
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
