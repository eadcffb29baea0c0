// Fuzz target: zolt-stitch's capture loading on arbitrary bytes, then a stitch of whatever decodes
// with a shifted copy of itself through every stitcher the tool offers. Loading must give an 8-bit
// four-channel capture that keeps the file's transparency and its range of 16-bit grey levels, or
// fail with an input error; stitching must give a result or fail with the tool's own error.

#include "CaptureLoading.h"
#include "Console.h"
#include "ConsoleListener.h"
#include "ExitCodes.h"
#include "Options.h"
#include "ScratchFile.h"
#include "StitchRun.h"

#include <ZOLT/Preview.h>

#include <opencv2/imgcodecs.hpp>

#include <sstream>

namespace {

using namespace ZOLT::StitchTool;
using namespace ZOLT::Cli;

/// Stitching cost grows with the capture; bigger captures are only loaded, so each run stays fast.
constexpr std::size_t MAX_STITCHED_PIXELS = 128 * 128;

/// The next capture of a window scrolled by about a quarter of its height (or width, for one
/// row); the uncovered part is transparent.
cv::Mat ShiftedCopy(const cv::Mat& capture)
{
    cv::Mat shifted = cv::Mat::zeros(capture.size(), capture.type());
    const bool rows = capture.rows >= 2;
    const int extent = rows ? capture.rows : capture.cols;
    const int shift = (extent + 3) / 4;
    const cv::Range from(shift, extent);
    const cv::Range to(0, extent - shift);
    (rows ? capture.rowRange(from) : capture.colRange(from)).copyTo(rows ? shifted.rowRange(to) : shifted.colRange(to));
    return shifted;
}

/// Transparent pixels of the file stay transparent, a file without alpha gives an opaque capture,
/// and 16-bit grey levels are scaled to 8 bits, not clipped.
bool Faithful(const std::string& path, const cv::Mat& capture)
{
    const cv::Mat file = cv::imread(path, cv::IMREAD_UNCHANGED);
    cv::Mat alpha;
    cv::extractChannel(capture, alpha, 3);
    if (file.channels() == 2 || file.channels() == 4) {
        cv::Mat fileAlpha;
        cv::extractChannel(file, fileAlpha, file.channels() - 1);
        if (cv::countNonZero(alpha & (fileAlpha == 0)) != 0) {
            return false;
        }
    } else if (cv::countNonZero(alpha != 255) != 0) {
        return false;
    }
    if (file.depth() != CV_16U || file.channels() > 2) {
        return true;
    }
    cv::Mat grey;
    cv::Mat capturedGrey;
    cv::extractChannel(file, grey, 0);
    cv::extractChannel(capture, capturedGrey, 0);
    double low = 0, high = 0, capturedLow = 0, capturedHigh = 0;
    cv::minMaxLoc(grey, &low, &high);
    cv::minMaxLoc(capturedGrey, &capturedLow, &capturedHigh);
    return capturedHigh - capturedLow >= (high - low) / 257.0 - 1.0;
}

void StitchWith(StitcherKind kind, const cv::Mat& capture)
{
    Options options;
    options.stitcher = kind;
    options.parameters.maxThreads = 1;
    std::ostringstream sink;
    Console console("zolt-stitch", sink, sink, Console::ProgressStyle::Silent);
    ConsoleListener listener(console, options.parameters, 1);
    const std::unique_ptr<CaptureStore> store = CaptureStore::InMemory();
    cv::Mat first = capture.clone();
    cv::Mat second = ShiftedCopy(capture);
    store->Add(first);
    store->Add(second);
    try {
        const cv::Mat result = StitchCaptures(options, store->Provider(), listener).result;
        if (result.empty() || result.depth() != CV_8U) {
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
    const ZOLT::Testing::ScratchFile scratch(data, size);
    std::ostringstream sink;
    Console console("zolt-stitch", sink, sink, Console::ProgressStyle::Silent);
    const std::unique_ptr<CaptureStore> store = CaptureStore::InMemory();
    ZOLT::Stitching::PreviewImage preview;
    try {
        LoadCaptures({scratch.Path()}, *store, &preview, console);
    } catch (const ToolError& error) {
        // The preview may refuse a capture the loading accepted; anything else is an input error.
        if (error.Code() != ExitCode::InputError && error.Code() != ExitCode::StitchFailed) {
            std::abort();
        }
        return 0;
    }
    const cv::Mat capture = *store->Provider().GetImageAt(0);
    if (capture.empty() || capture.type() != CV_8UC4 || !Faithful(scratch.Path(), capture)) {
        std::abort();
    }
    if (capture.total() <= MAX_STITCHED_PIXELS) {
        preview.GetPreview(64, 64);
        for (const StitcherKind kind : {StitcherKind::Basic, StitcherKind::Smart, StitcherKind::Borders}) {
            StitchWith(kind, capture);
        }
    }
    return 0;
}
