#include "StitchRun.h"

#include "Cancellation.h"
#include "ExitCodes.h"
#include "OutputFiles.h"

#include <ZOLT/Factory.h>

#include <new>

namespace ZOLT {
namespace Cli {

namespace {

[[noreturn]] void FailStitch(const std::string& reason)
{
    throw ToolError(ExitCode::StitchFailed, "stitching failed: " + reason);
}

}  // namespace

std::shared_ptr<Stitching::IStitcher> MakeStitcher(const CommonOptions& options)
{
    switch (options.stitcher) {
    case StitcherKind::Basic:
        return Stitching::StitcherFactory::CreateBasicStitcher(options.parameters);
    case StitcherKind::Smart:
        return Stitching::StitcherFactory::CreateSmartStitcher(options.parameters, options.scaleFactor);
    case StitcherKind::Page:
        return Stitching::StitcherFactory::CreatePageStitcher(options.parameters);
    case StitcherKind::Borders:
        break;
    }
    return Stitching::StitcherFactory::CreateStitcherWithBasicBorderDetection(
        options.parameters, options.changeThreshold, options.neighborThreshold);
}

cv::Mat RunStitch(ConsoleListener& listener, const std::function<bool(cv::Mat& result)>& stitch)
{
    cv::Mat result;
    bool stitched = false;
    try {
        stitched = stitch(result);
    } catch (const ToolError&) {
        throw;
    } catch (const cv::Exception& exception) {
        FailStitch(exception.err);
    } catch (const std::bad_alloc&) {
        FailStitch("out of memory; --memory-limit keeps the captures on disk until they are needed");
    } catch (const std::exception& exception) {
        FailStitch(exception.what());
    }
    // Parts of a stitch report no progress, so a stop may only be seen here.
    if (CancelRequested() || listener.LastError() == Stitching::IStitcherListener::Cancelled) {
        StopCancelled();
    }
    if (!stitched || result.empty()) {
        FailStitch(DescribeFailure(listener.LastError()));
    }
    return result;
}

StitchOutcome StitchCaptures(const CommonOptions& options, IImageProvider& provider, ConsoleListener& listener)
{
    StitchOutcome outcome;
    if (provider.Count() == 1) {
        // Nothing to join: the capture is the result, untouched by any stitcher.
        outcome.result = *provider.GetImageAt(0);
        return outcome;
    }

    const std::shared_ptr<Stitching::IStitcher> stitcher = MakeStitcher(options);
    outcome.result = RunStitch(
        listener, [&](cv::Mat& result) { return stitcher->Stitch(provider, result, &listener, 0, 100, true); });
    outcome.translations = stitcher->GetTranslations();
    return outcome;
}

StitchOutcome StitchAndWrite(const CommonOptions& options, const std::string& output, IImageProvider& provider,
                             std::size_t captures, Stitching::PreviewImage* preview, Console& console)
{
    return StitchAndWrite(options, output, captures, preview, console,
                          [&](ConsoleListener& listener) { return StitchCaptures(options, provider, listener); });
}

StitchOutcome StitchAndWrite(const CommonOptions& options, const std::string& output, std::size_t captures,
                             Stitching::PreviewImage* preview, Console& console,
                             const std::function<StitchOutcome(ConsoleListener& listener)>& stitch)
{
    ConsoleListener listener(console, options.parameters, captures - 1);
    StitchOutcome outcome = stitch(listener);
    console.EndProgress();
    for (const std::string& warning : listener.WarningTexts()) {
        console.Warning(warning);
    }

    console.Progress("Writing", 0);
    WriteOutputFiles(EncodeOutputs(output, options, outcome.result, outcome.translations, captures, preview));
    console.Progress("Writing", 100);
    console.EndProgress();
    return outcome;
}

}  // namespace Cli
}  // namespace ZOLT
