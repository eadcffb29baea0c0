#include "CaptureRun.h"

#include "Cancellation.h"
#include "CaptureRecorder.h"
#include "CaptureStore.h"
#include "ExitCodes.h"
#include "LiveStitch.h"
#include "OutputFiles.h"
#include "StitchRun.h"

#include <ZOLT/Capture/ScrollLoop.h>
#include <ZOLT/Capture/WatchLoop.h>
#include <ZOLT/PageStitcher.h>

#include <filesystem>
#include <optional>
#include <system_error>

#include <poll.h>
#include <unistd.h>

namespace ZOLT {
namespace CaptureTool {

namespace {

using Capture::Activity;
using Capture::CaptureEnd;

/// Makes the --save-captures folder when it is missing.
void PrepareSaveFolder(const std::string& folder)
{
    std::error_code error;
    if (!folder.empty() && !std::filesystem::is_directory(folder, error) &&
        !std::filesystem::create_directories(folder, error)) {
        throw Cli::ToolError(Cli::ExitCode::OutputError,
                             "cannot make the capture folder '" + folder + "': " + error.message());
    }
}

/// Enter on standard input, looked at without waiting. Standard input that ends (or is not
/// there) never counts as Enter.
class EnterKey {
public:
    bool Pressed()
    {
        while (open_ && !pressed_) {
            pollfd input{STDIN_FILENO, POLLIN, 0};
            if (::poll(&input, 1, 0) <= 0) {
                break;
            }
            char byte = 0;
            if (::read(STDIN_FILENO, &byte, 1) != 1) {
                open_ = false;
            }
            pressed_ = byte == '\n';
        }
        return pressed_;
    }

private:
    bool open_ = true;
    bool pressed_ = false;
};

Capture::Target ChooseTarget(const Options& options, Capture::ICaptureBackend& backend, Cli::Console& console)
{
    if (!options.select) {
        return backend.Find(options.target);
    }
    console.Notice("click the window to capture, or press and drag a rectangle around a pane; Escape cancels");
    const std::optional<Capture::Target> picked = backend.Pick();
    if (!picked && Cli::StopSignals() > 0) {
        Cli::StopCancelled();
    }
    if (!picked) {
        throw Cli::ToolError(Cli::ExitCode::SelectionCancelled, "selection cancelled; nothing was captured");
    }
    return *picked;
}

const char* ActivityText(Activity activity)
{
    switch (activity) {
    case Activity::Settling:
        return "waiting for the window to settle";
    case Activity::AwaitingMovement:
        return "scrolling";
    case Activity::Rewinding:
        return "scrolling back to the start";
    case Activity::Watching:
        break;
    }
    return "watching; scroll the window, Enter ends";
}

std::string Seconds(std::chrono::milliseconds duration)
{
    return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(duration).count()) + " s";
}

/// The loop's end in words for the summary; failures for the ends that leave nothing to stitch.
std::string EndText(CaptureEnd end, bool byEnter, const Options& options, std::size_t captures)
{
    const std::string giveUp = Seconds(options.scroll.settle.giveUp);
    switch (end) {
    case CaptureEnd::PageEnd:
        return "until the end of the content";
    case CaptureEnd::MaxCaptures:
        return "up to --max-captures";
    case CaptureEnd::Idle:
        return "until nothing changed for " + Seconds(options.idle);
    case CaptureEnd::Unsettled:
        if (captures == 0) {
            throw Cli::ToolError(Cli::ExitCode::InputError, "the window never stopped changing for " + giveUp +
                                                                " (an animation?); nothing was captured");
        }
        return "until the window kept changing for " + giveUp;
    case CaptureEnd::NoMovement:
        throw Cli::ToolError(Cli::ExitCode::InputError,
                             "the content did not move when the wheel turned at the centre of the captured area: "
                             "it is at its end already (--from-start brings it back), or it does not scroll there "
                             "(scroll it yourself with --manual, or name the part that scrolls with --region or "
                             "--select)");
    case CaptureEnd::Stopped:
        break;
    }
    return byEnter ? "until Enter" : "until Ctrl-C";
}

std::string SummaryText(const Options& options, std::size_t captures, const std::string& end, const cv::Mat& result)
{
    const std::string output = options.output == Cli::STANDARD_OUTPUT ? "standard output" : options.output;
    std::string text = "Captured " + std::to_string(captures) + (captures == 1 ? " screen " : " screens ") + end +
                       " and stitched them (" + Cli::StitcherName(options.stitcher) + " stitcher) into " + output +
                       ", " + std::to_string(result.cols) + " x " + std::to_string(result.rows) + " pixels";
    if (!options.previewFile.empty()) {
        text += "; preview in " + options.previewFile;
    }
    if (!options.translationsFile.empty()) {
        text += "; translations in " + options.translationsFile;
    }
    if (!options.saveFolder.empty()) {
        text += "; captures in " + options.saveFolder;
    }
    return text;
}

/// The loop's view of the run: captures go to the live stitch, the progress line follows.
class LoopSide {
public:
    LoopSide(const Options& options, LiveStitch& live, Cli::Console& console)
        : options_(options), live_(live), console_(console)
    {
    }

    Capture::LoopHost Host()
    {
        const int direction = options_.scroll.axis == Capture::Axis::Rows ? 0 : 1;
        const bool rows = direction == 0;
        return Capture::LoopHost{
            [this](const cv::Mat& capture, int position) {
                live_.Add(capture, position);
                ++captures_;
                Show();
            },
            [this] { return Cli::StopSignals() > 0 || live_.Failed() || (options_.manual && enter_.Pressed()); },
            [direction, rows](const cv::Mat& previous, const cv::Mat& current) {
                const Stitching::Translation moved = Stitching::PageStitcher::MeasurePair(previous, current, direction);
                return -(rows ? moved.GetRows() : moved.GetCols());
            },
            [this](Activity activity) {
                activity_ = activity;
                Show();
            }};
    }

    std::size_t Captures() const { return captures_; }
    bool EndedByEnter() { return options_.manual && enter_.Pressed(); }

private:
    void Show()
    {
        const std::string count = std::to_string(captures_) + (captures_ == 1 ? " capture, " : " captures, ");
        console_.Progress("Capturing: " + count + ActivityText(activity_),
                          static_cast<int>(captures_ * 100 / options_.scroll.maxCaptures));
    }

    const Options& options_;
    LiveStitch& live_;
    Cli::Console& console_;
    EnterKey enter_;
    std::size_t captures_ = 0;
    Activity activity_ = Activity::Settling;
};

CaptureEnd CaptureTarget(const Options& options, Capture::ICaptureBackend& backend, const Capture::Target& target,
                         Capture::Clock& clock, const Capture::LoopHost& host, Cli::Console& console)
{
    if (!options.manual) {
        return Capture::RunScrollLoop(backend, target, options.scroll, clock, host);
    }
    std::string ends = "Enter or Ctrl-C ends";
    if (options.idle.count() > 0) {
        ends += ", and so do " + Seconds(options.idle) + " without change";
    }
    console.Notice("watching '" + target.description + "': scroll it yourself; " + ends);
    return Capture::RunWatchLoop(backend, target, options.Watch(), clock, host);
}

}  // namespace

void RunCapture(const Options& options, Capture::ICaptureBackend& backend, Capture::Clock& clock, Cli::Console& console)
{
    Cli::CheckOutputTargets(options.output, options);
    PrepareSaveFolder(options.saveFolder);
    const Capture::Target target = ChooseTarget(options, backend, console);
    // The spill folder outlives the store, which deletes its own files first.
    std::optional<Cli::SpillFolder> spillFolder;
    const std::unique_ptr<Cli::CaptureStore> store = Cli::MakeCaptureStore(options, spillFolder);
    CaptureRecorder recorder(*store, options.previewFile, options.saveFolder, console);
    LiveStitch live(options, recorder);
    LoopSide side(options, live, console);
    const CaptureEnd end = CaptureTarget(options, backend, target, clock, side.Host(), console);
    console.EndProgress();
    live.Drain();
    // Stopped before the first capture: nothing to stitch.
    if (Cli::CancelRequested() || (end == CaptureEnd::Stopped && side.Captures() == 0)) {
        Cli::StopCancelled();
    }
    const bool byEnter = side.EndedByEnter();
    const std::string endText = EndText(end, byEnter, options, side.Captures());
    if (end == CaptureEnd::Stopped) {
        console.Notice(std::string("capture ended by ") + (byEnter ? "Enter" : "Ctrl-C") +
                       "; stitching what was captured (Ctrl-C again cancels)");
    } else if (end == CaptureEnd::Unsettled) {
        console.Warning("the window kept changing for " + Seconds(options.scroll.settle.giveUp) +
                        " (an animation?); stitching the " + std::to_string(side.Captures()) + " captures so far");
    }

    // The preview file is up to date already: it was rewritten with every capture.
    const Cli::StitchOutcome outcome =
        Cli::StitchAndWrite(options, options.output, side.Captures(), nullptr, console,
                            [&live](Cli::ConsoleListener& listener) { return live.Finish(listener); });
    console.Summary(SummaryText(options, side.Captures(), endText, outcome.result));
}

}  // namespace CaptureTool
}  // namespace ZOLT
