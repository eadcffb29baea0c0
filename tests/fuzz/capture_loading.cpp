// Fuzz target: zolt-stitch's capture loading on arbitrary bytes, then a two-capture stitch of
// whatever decodes. The bytes are loaded exactly as the tool loads an input file (into the live
// preview as well), and the capture is stitched with a shifted copy of itself through every stitcher
// configuration the tool offers. Loading must either give an 8-bit four-channel capture or fail
// with an input error; stitching must either give a result or fail with the tool's own error.

#include "CaptureLoading.h"
#include "Console.h"
#include "ConsoleListener.h"
#include "ExitCodes.h"
#include "Options.h"
#include "StitchRun.h"

#include <ZOLT/Preview.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <streambuf>
#include <string>
#include <unistd.h>

namespace {

using namespace ZOLT::StitchTool;
using namespace ZOLT::Cli;

/// Stitching cost grows with the capture; bigger captures are only loaded, so each run stays fast.
constexpr std::size_t MAX_STITCHED_PIXELS = 128 * 128;

/// One scratch file per process, rewritten for every input.
const std::string& ScratchPath()
{
    static const std::string path = [] {
        char name[] = "/tmp/zolt-fuzz-capture-XXXXXX";
        const int descriptor = mkstemp(name);
        if (descriptor < 0) {
            std::abort();
        }
        close(descriptor);
        return std::string(name);
    }();
    return path;
}

struct ScratchRemover {
    ~ScratchRemover() { std::remove(ScratchPath().c_str()); }
} scratchRemover;

/// The library and OpenCV explain every refused input on the standard streams; thousands of runs
/// a second would drown the fuzzer's own report in them.
class Silence {
public:
    Silence() : errors_(std::cerr.rdbuf(&sink_)), output_(std::cout.rdbuf(&sink_)) {}
    ~Silence()
    {
        std::cerr.rdbuf(errors_);
        std::cout.rdbuf(output_);
    }

private:
    struct Sink : std::streambuf {
        int overflow(int character) override { return traits_type::not_eof(character); }
    } sink_;
    std::streambuf* errors_;
    std::streambuf* output_;
};

/// `capture` with its content moved up (or, for a single row, left) by about a quarter of its
/// extent, as the next capture of a scrolling window shows it; the uncovered part is transparent.
cv::Mat ShiftedCopy(const cv::Mat& capture)
{
    cv::Mat shifted = cv::Mat::zeros(capture.size(), capture.type());
    if (capture.rows >= 2) {
        const int shift = (capture.rows + 3) / 4;
        capture.rowRange(shift, capture.rows).copyTo(shifted.rowRange(0, capture.rows - shift));
    } else if (capture.cols >= 2) {
        const int shift = (capture.cols + 3) / 4;
        capture.colRange(shift, capture.cols).copyTo(shifted.colRange(0, capture.cols - shift));
    } else {
        capture.copyTo(shifted);
    }
    return shifted;
}

/// The tool's stitch of the capture and its shifted copy; a failure must be the tool's own error.
void StitchWith(StitcherKind kind, const cv::Mat& capture, const cv::Mat& shifted)
{
    Options options;
    options.stitcher = kind;
    options.parameters.maxThreads = 1;

    std::ostringstream errors;
    std::ostringstream summary;
    Console console("zolt-stitch", errors, summary, Console::ProgressStyle::Silent);
    ConsoleListener listener(console, options.parameters, 1);

    const std::unique_ptr<CaptureStore> store = CaptureStore::InMemory();
    cv::Mat first = capture.clone();
    cv::Mat second = shifted.clone();
    store->Add(first);
    store->Add(second);
    try {
        const StitchOutcome outcome = StitchCaptures(options, store->Provider(), listener);
        if (outcome.result.empty() || outcome.result.depth() != CV_8U) {
            std::abort();
        }
    } catch (const ToolError& error) {
        if (error.Code() != ExitCode::StitchFailed) {
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    {
        std::ofstream file(ScratchPath(), std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const Silence silence;

    std::ostringstream errors;
    std::ostringstream summary;
    Console console("zolt-stitch", errors, summary, Console::ProgressStyle::Silent);
    const std::unique_ptr<CaptureStore> store = CaptureStore::InMemory();
    ZOLT::Stitching::PreviewImage preview;
    try {
        LoadCaptures({ScratchPath()}, *store, &preview, console);
    } catch (const ToolError& error) {
        // The preview may refuse a capture the loading accepted; anything else is an input error.
        if (error.Code() != ExitCode::InputError && error.Code() != ExitCode::StitchFailed) {
            std::abort();
        }
        return 0;
    }

    const cv::Mat capture = *store->Provider().GetImageAt(0);
    if (capture.empty() || capture.type() != CV_8UC4) {
        std::abort();
    }
    if (capture.total() > MAX_STITCHED_PIXELS) {
        return 0;
    }

    // Only the first capture goes into the preview: the preview correlates later ones at its
    // fixed width whatever the input, which the unit tests cover and which would cost most of
    // each run here.
    preview.GetPreview(64, 64);

    const cv::Mat shifted = ShiftedCopy(capture);

    StitchWith(StitcherKind::Basic, capture, shifted);
    StitchWith(StitcherKind::Smart, capture, shifted);
    StitchWith(StitcherKind::Borders, capture, shifted);
    return 0;
}
