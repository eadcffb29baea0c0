// zolt-stitch refusing what it cannot use: the message, the exit code, and no file left behind.

#include "ToolProcess.h"

#include "SyntheticCaptures.h"

#include <gtest/gtest.h>

#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

using ZOLT::Testing::RunTool;
using ZOLT::Testing::ScratchFolder;
using ZOLT::Testing::ToolRun;

namespace {

namespace fs = std::filesystem;

constexpr int STITCH_FAILED = 1;
constexpr int USAGE = 2;
constexpr int INPUT_ERROR = 3;
constexpr int OUTPUT_ERROR = 4;

/// Two small captures of a page scrolled by 30 rows, as first.png and second.png.
void WriteTwoCaptures(const ScratchFolder& folder, cv::Size viewport = cv::Size(120, 90))
{
    const cv::Mat page = ZOLT::Testing::MakePage(cv::Size(viewport.width, viewport.height + 60), 5, false);
    const auto series = ZOLT::Testing::CutSeries(page, viewport, ZOLT::Testing::VerticalOffsets(2, 30));
    ZOLT::Testing::WriteCaptures(series.captures, folder, {"first.png", "second.png"});
}

/// Runs the tool into `output` and checks the failure: exit code, message, nothing written.
void ExpectFailure(const std::vector<std::string>& arguments, const ScratchFolder& outputFolder, int exitCode,
                   const std::string& message)
{
    const std::vector<std::string> before = outputFolder.Entries();
    const ToolRun run = RunTool(arguments);
    EXPECT_EQ(run.exitCode, exitCode) << run.err;
    EXPECT_NE(run.err.find(message), std::string::npos) << "expected '" << message << "' in: " << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
    EXPECT_EQ(outputFolder.Entries(), before) << "the failed run left files behind";
}

}  // namespace

TEST(BadInput, CommandLineMistakesAreUsageErrors)
{
    const ScratchFolder inputs;
    WriteTwoCaptures(inputs);
    const ScratchFolder out;
    const std::string capture = inputs / "first.png";
    const std::string output = out / "out.png";

    ExpectFailure({}, out, USAGE, "no input");
    ExpectFailure({"-o", output}, out, USAGE, "no input");
    ExpectFailure({capture}, out, USAGE, "no output");
    ExpectFailure({capture, "-o", output, "--frobnicate"}, out, USAGE, "unknown option '--frobnicate'");
    ExpectFailure({capture, "-o", output, "--threads"}, out, USAGE, "--threads needs a value");
    ExpectFailure({capture, "-o", output, "--threads", "0"}, out, USAGE, "--threads expects a whole number from 1");
    ExpectFailure({capture, "-o", output, "--stitcher", "fancy"}, out, USAGE, "basic, smart or borders");
    ExpectFailure({capture, "-o", output, "--direction=diagonal"}, out, USAGE, "vertical, horizontal or both");
    ExpectFailure({capture, "-o", output, "--min-peak", "-3"}, out, USAGE, "--min-peak expects a number");
    ExpectFailure({capture, "-o", output, "--quiet=yes"}, out, USAGE, "--quiet takes no value");
    ExpectFailure({capture, "-o", out / "out.xyz"}, out, USAGE, "no image file extension");
    ExpectFailure({capture, "-o", output, "--translations", output}, out, USAGE, "different file names");
}

TEST(BadInput, UnusableInputsAreInputErrors)
{
    const ScratchFolder inputs;
    WriteTwoCaptures(inputs);
    std::ofstream(inputs / "notes.png") << "this is text";
    const ScratchFolder empty;
    std::ofstream(empty / "readme.txt") << "no images here";
    const ScratchFolder out;
    const std::string output = out / "out.png";

    ExpectFailure({inputs / "missing.png", "-o", output}, out, INPUT_ERROR,
                  "'" + (inputs / "missing.png") + "' does not exist");
    ExpectFailure({empty.Path().string(), "-o", output}, out, INPUT_ERROR, "holds no image files");
    ExpectFailure({inputs / "first.png", inputs / "notes.png", "-o", output}, out, INPUT_ERROR,
                  "'" + (inputs / "notes.png") + "' is not an image");
    // A folder holding a broken image fails on it, too.
    ExpectFailure({inputs.Path().string(), "-o", output}, out, INPUT_ERROR, "is not an image");
}

TEST(BadInput, CapturesOfDifferentSizesAreRefused)
{
    const ScratchFolder inputs;
    WriteTwoCaptures(inputs);
    const ScratchFolder wider;
    WriteTwoCaptures(wider, cv::Size(130, 90));
    const ScratchFolder out;
    ExpectFailure({inputs / "first.png", wider / "second.png", "-o", out / "out.png"}, out, INPUT_ERROR,
                  "is 130 x 90 pixels, but the first capture ('" + (inputs / "first.png") +
                      "') is 120 x 90 pixels; all captures must have the same size");
}

TEST(BadInput, UnwritableOutputsAreOutputErrorsFoundBeforeAnyWork)
{
    const ScratchFolder inputs;
    WriteTwoCaptures(inputs);
    const ScratchFolder out;
    const std::string first = inputs / "first.png";

    ExpectFailure({first, "-o", out / "no-such-folder/out.png"}, out, OUTPUT_ERROR, "does not exist");
    fs::create_directory(out / "folder.png");
    ExpectFailure({first, "-o", out / "folder.png"}, out, OUTPUT_ERROR, "is a folder");
    ExpectFailure({first, "-o", out / "out.png", "--preview", out / "none/preview.png"}, out, OUTPUT_ERROR,
                  "does not exist");
    ExpectFailure({first, "-o", out / "out.png", "--spill-dir", out / "none"}, out, OUTPUT_ERROR, "is not a folder");
}

TEST(BadInput, AReadOnlyOutputFolderIsAnOutputError)
{
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind the superuser";
    }
    const ScratchFolder inputs;
    WriteTwoCaptures(inputs);
    const ScratchFolder out;
    const std::string first = inputs / "first.png";
    fs::create_directory(out / "locked");
    ::chmod((out / "locked").c_str(), 0555);
    ExpectFailure({first, "-o", out / "locked/out.png"}, out, OUTPUT_ERROR, "is not writable");
    ::chmod((out / "locked").c_str(), 0755);
}

TEST(BadInput, AnExistingOutputIsKeptWhenTheRunFails)
{
    const ScratchFolder inputs;
    WriteTwoCaptures(inputs);
    std::ofstream(inputs / "broken.png") << "not an image";
    const ScratchFolder out;
    std::ofstream(out / "out.png") << "previous result";
    ExpectFailure({inputs / "first.png", inputs / "broken.png", "-o", out / "out.png"}, out, INPUT_ERROR,
                  "is not an image");
    std::ifstream kept(out / "out.png");
    const std::string content((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "previous result");
}

TEST(BadInput, AStitchTheLibraryCannotFinishIsExitOne)
{
    const ScratchFolder out;
    // The smart stitcher samples the colours of side margins up to 12 x scale factor rows above
    // the bottom edge; with 40 that lies above the top of the 370-row samples, and a border
    // width of 0 keeps their plain left margin a margin.
    ExpectFailure({ZOLT_SAMPLE_CAPTURES, "-o", out / "out.png", "--stitcher", "smart", "--scale-factor", "40",
                   "--min-border-width", "0"},
                  out, STITCH_FAILED, "stitching failed: ");
}

TEST(BadInput, AHeaderClaimingAHugeImageIsRefusedBeforeDecoding)
{
    const ScratchFolder inputs;
    // 118 bytes that announce a 30000 x 30000 bitmap: decoding would reserve 2.7 GB first.
    const std::vector<unsigned char> header = {
        'B', 'M', 118, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,               // file header
        40, 0, 0, 0, 0x30, 0x75, 0, 0, 0x30, 0x75, 0, 0, 1, 0, 24, 0,  // 30000 x 30000, 24 bits
        0, 0, 0, 0, 64, 0, 0, 0, 0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    std::ofstream file(inputs / "huge.bmp", std::ios::binary);
    file.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
    file << std::string(64, '\0');
    file.close();
    const ScratchFolder out;
    ExpectFailure({inputs / "huge.bmp", "-o", out / "out.png"}, out, INPUT_ERROR,
                  "'" + (inputs / "huge.bmp") + "' is too large for a capture (at most 67108864 pixels)");
}

TEST(BadInput, CapturesTooFlatForThePreviewLeaveItEmptyWithOneWarning)
{
    const ScratchFolder inputs;
    const cv::Mat page = ZOLT::Testing::MakePage(cv::Size(600, 40), 5, false);
    const std::vector<cv::Mat> captures = {page.rowRange(0, 2).clone(), page.rowRange(1, 3).clone(),
                                           page.rowRange(2, 4).clone()};
    ZOLT::Testing::WriteCaptures(captures, inputs, {"a.png", "b.png", "c.png"});
    const ScratchFolder out;
    const ToolRun run = RunTool({inputs.Path().string(), "-o", out / "out.png", "--preview", out / "preview.png",
                                 "--stitcher", "basic", "--quiet"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string warning = "the preview stays empty: captures of 600 x 2 pixels are too flat to show at its width";
    const std::size_t first = run.err.find(warning);
    EXPECT_NE(first, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(warning, first + 1), std::string::npos) << "warned more than once: " << run.err;
    EXPECT_EQ(out.Entries(), (std::vector<std::string>{"out.png", "preview.png"}));
}
