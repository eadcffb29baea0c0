// zolt-stitch refusing what it cannot use: the message, the exit code, and no file left behind.

#include "ToolProcess.h"

#include "SyntheticCaptures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

namespace ZOLT {
namespace Testing {
namespace {

constexpr int kStitchFailed = 1;
constexpr int kUsage = 2;
constexpr int kInputError = 3;
constexpr int kOutputError = 4;

/// Two small captures of a page scrolled by 30 rows, as first.png and second.png.
void WriteTwoCaptures(const TempFolder& folder, cv::Size viewport = cv::Size(120, 90))
{
    const cv::Mat page = MakePage(cv::Size(viewport.width, viewport.height + 60), 5, false);
    WriteCaptures(CutSeries(page, viewport, VerticalOffsets(2, 30)).captures, folder, {"first.png", "second.png"});
}

struct Refusal {
    std::vector<std::string> arguments;
    int exitCode;
    std::string message;
};

/// Runs the tool into `out` and checks each failure: exit code, message, nothing written.
void ExpectRefused(const std::vector<Refusal>& refusals, const TempFolder& out)
{
    for (const Refusal& refusal : refusals) {
        const std::vector<std::string> before = out.Entries();
        const ToolRun run = RunTool(refusal.arguments);
        EXPECT_EQ(run.exitCode, refusal.exitCode) << run.err;
        EXPECT_NE(run.err.find(refusal.message), std::string::npos) << "expected '" << refusal.message << "' in: " << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
        EXPECT_EQ(out.Entries(), before) << "the failed run left files behind";
    }
}

TEST(BadInput, CommandLineMistakesAreUsageErrors)
{
    const TempFolder out;
    const std::string capture = out / "first.png";
    WriteTwoCaptures(out);
    const std::string output = out / "out.png";
    ExpectRefused({{{}, kUsage, "no input"},
                   {{"-o", output}, kUsage, "no input"},
                   {{capture}, kUsage, "no output"},
                   {{capture, "-o", output, "--frobnicate"}, kUsage, "unknown option '--frobnicate'"},
                   {{capture, "-o", output, "--threads"}, kUsage, "--threads needs a value"},
                   {{capture, "-o", output, "--threads", "0"}, kUsage, "--threads expects a whole number from 1"},
                   {{capture, "-o", output, "--stitcher", "fancy"}, kUsage, "basic, smart or borders"},
                   {{capture, "-o", output, "--direction=diagonal"}, kUsage, "vertical, horizontal or both"},
                   {{capture, "-o", output, "--min-peak", "-3"}, kUsage, "--min-peak expects a number"},
                   {{capture, "-o", output, "--quiet=yes"}, kUsage, "--quiet takes no value"},
                   {{capture, "-o", out / "out.xyz"}, kUsage, "no image file extension"},
                   {{capture, "-o", output, "--translations", output}, kUsage, "different file names"}},
                  out);
}

TEST(BadInput, UnusableInputsAreInputErrorsAndUnwritableOutputsOutputErrorsFoundBeforeAnyWork)
{
    const TempFolder inputs;
    WriteTwoCaptures(inputs);
    std::ofstream(inputs / "notes.png") << "this is text";
    const TempFolder wider;
    WriteTwoCaptures(wider, cv::Size(130, 90));
    const TempFolder empty;
    std::ofstream(empty / "readme.txt") << "no images here";
    const TempFolder out;
    std::ofstream(out / "out.png") << "previous result";
    std::filesystem::create_directory(out / "folder.png");
    const std::string first = inputs / "first.png";
    const std::string output = out / "out.png";
    ExpectRefused(
        {{{inputs / "missing.png", "-o", output}, kInputError, "'" + (inputs / "missing.png") + "' does not exist"},
         {{empty.Path().string(), "-o", output}, kInputError, "holds no image files"},
         {{first, inputs / "notes.png", "-o", output}, kInputError, "'" + (inputs / "notes.png") + "' is not an image"},
         // A folder holding a broken image fails on it, too.
         {{inputs.Path().string(), "-o", output}, kInputError, "is not an image"},
         {{first, wider / "second.png", "-o", output}, kInputError,
          "is 130 x 90 pixels, but the first capture ('" + first +
              "') is 120 x 90 pixels; all captures must have the same size"},
         {{first, "-o", out / "no-such-folder/out.png"}, kOutputError, "does not exist"},
         {{first, "-o", out / "folder.png"}, kOutputError, "is a folder"},
         {{first, "-o", output, "--preview", out / "none/preview.png"}, kOutputError, "does not exist"},
         {{first, "-o", output, "--spill-dir", out / "none"}, kOutputError, "is not a folder"},
         // The smart stitcher samples side-margin colours up to 12 x scale factor rows above the
         // bottom edge; with 40 that lies above the top of the 370-row samples, and a border width
         // of 0 keeps their plain left margin a margin.
         {{ZOLT_SAMPLE_CAPTURES, "-o", output, "--stitcher", "smart", "--scale-factor", "40", "--min-border-width",
           "0"},
          kStitchFailed, "stitching failed: "}},
        out);
    // The existing output was kept through every failure.
    std::ostringstream kept;
    kept << std::ifstream(output).rdbuf();
    EXPECT_EQ(kept.str(), "previous result");

    if (::geteuid() != 0) {  // permissions do not bind the superuser
        std::filesystem::create_directory(out / "locked");
        ::chmod((out / "locked").c_str(), 0555);
        ExpectRefused({{{first, "-o", out / "locked/out.png"}, kOutputError, "is not writable"}}, out);
        ::chmod((out / "locked").c_str(), 0755);
    }
}

TEST(BadInput, AHeaderClaimingAHugeImageIsRefusedBeforeDecoding)
{
    const TempFolder inputs;
    // 118 bytes that announce a 30000 x 30000 bitmap: decoding would reserve 2.7 GB first.
    const std::vector<unsigned char> header = {
        'B', 'M', 118, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,               // file header
        40, 0, 0, 0, 0x30, 0x75, 0, 0, 0x30, 0x75, 0, 0, 1, 0, 24, 0,  // 30000 x 30000, 24 bits
        0, 0, 0, 0, 64, 0, 0, 0, 0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    std::ofstream file(inputs / "huge.bmp", std::ios::binary);
    file.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
    file << std::string(64, '\0');
    file.close();
    const TempFolder out;
    ExpectRefused({{{inputs / "huge.bmp", "-o", out / "out.png"}, kInputError,
                    "'" + (inputs / "huge.bmp") + "' is too large for a capture (at most 67108864 pixels)"}},
                  out);
}

TEST(BadInput, CapturesTooFlatForThePreviewLeaveItEmptyWithOneWarning)
{
    const TempFolder inputs;
    const cv::Mat page = MakePage(cv::Size(600, 40), 5, false);
    const std::vector<cv::Mat> captures = {page.rowRange(0, 2).clone(), page.rowRange(1, 3).clone(),
                                           page.rowRange(2, 4).clone()};
    WriteCaptures(captures, inputs, {"a.png", "b.png", "c.png"});
    const TempFolder out;
    const ToolRun run = RunTool({inputs.Path().string(), "-o", out / "out.png", "--preview", out / "preview.png",
                                 "--stitcher", "basic", "--quiet"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string warning = "the preview stays empty: captures of 600 x 2 pixels are too flat to show at its width";
    const std::size_t first = run.err.find(warning);
    EXPECT_NE(first, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(warning, first + 1), std::string::npos) << "warned more than once: " << run.err;
    EXPECT_EQ(out.Entries(), (std::vector<std::string>{"out.png", "preview.png"}));
}

}  // namespace
}  // namespace Testing
}  // namespace ZOLT
