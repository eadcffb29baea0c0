// zolt-capture: captures an X11 window while its content scrolls and joins the captures into one
// image with the ZOLT.Stitching library.
//
//   zolt-capture [OPTIONS] -o OUTPUT.png      (zolt-capture --help for the options)

#include "Cancellation.h"
#include "CaptureRecorder.h"
#include "CaptureStore.h"
#include "Console.h"
#include "ExitCodes.h"
#include "Options.h"
#include "OutputFiles.h"
#include "StitchRun.h"

#include <ZOLT/Capture/Backends.h>
#include <ZOLT/Capture/CaptureError.h>
#include <ZOLT/Capture/Clock.h>
#include <ZOLT/Capture/ScrollLoop.h>

#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace {

using namespace ZOLT::CaptureTool;
namespace Cli = ZOLT::Cli;
namespace Capture = ZOLT::Capture;
using Capture::CaptureEnd;

constexpr const char* PROGRAM = "zolt-capture";
/// The first Ctrl-C ends the capture, the second cancels the run.
constexpr int SIGNALS_TO_CANCEL = 2;

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

std::unique_ptr<Capture::ICaptureBackend> OpenBackend(const Options& options)
{
    const std::string name =
        options.backend.empty() ? Capture::ChooseBackend(Capture::SessionEnvironment::FromProcess()) : options.backend;
    return Capture::OpenBackend(name);
}

const char* EndText(CaptureEnd end)
{
    switch (end) {
    case CaptureEnd::PageEnd:
        return "until the end of the content";
    case CaptureEnd::MaxCaptures:
        return "up to --max-captures";
    case CaptureEnd::Stopped:
        break;
    }
    return "until Ctrl-C";
}

std::string SummaryText(const Options& options, std::size_t captures, CaptureEnd end, const cv::Mat& result)
{
    std::string text = "Captured " + std::to_string(captures) + (captures == 1 ? " screen " : " screens ") +
                       EndText(end) + " and stitched them (" + Cli::StitcherName(options.stitcher) +
                       " stitcher) into " + options.output + ", " + std::to_string(result.cols) + " x " +
                       std::to_string(result.rows) + " pixels";
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

CaptureEnd CaptureScrolling(const Options& options, CaptureRecorder& recorder, Cli::Console& console)
{
    const std::unique_ptr<Capture::ICaptureBackend> backend = OpenBackend(options);
    const Capture::Target target = backend->Find(options.target);
    Capture::SystemClock clock;
    const CaptureEnd end =
        Capture::ScrollLoop(*backend, target, options.scroll, clock)
            .Run([&recorder](const cv::Mat& capture) { recorder.Add(capture); }, [] { return Cli::StopSignals() > 0; });
    console.EndProgress();
    if (Cli::CancelRequested()) {
        Cli::StopCancelled();
    }
    if (end == CaptureEnd::Stopped) {
        console.Notice("capture ended by Ctrl-C; stitching what was captured (Ctrl-C again cancels)");
    }
    return end;
}

void Run(const Options& options, Cli::Console& console)
{
    Cli::CheckOutputTargets(options.output, options);
    PrepareSaveFolder(options.saveFolder);
    // The spill folder outlives the store, which deletes its own files first.
    std::optional<Cli::SpillFolder> spillFolder;
    const std::unique_ptr<Cli::CaptureStore> store = Cli::MakeCaptureStore(options, spillFolder);
    CaptureRecorder recorder(*store, options.previewFile, options.saveFolder, console, options.scroll.maxCaptures);
    const CaptureEnd end = CaptureScrolling(options, recorder, console);
    if (recorder.Count() == 0) {
        Cli::StopCancelled();
    }

    // The preview file is up to date already: it was rewritten with every capture.
    const Cli::StitchOutcome outcome =
        Cli::StitchAndWrite(options, options.output, store->Provider(), recorder.Count(), nullptr, console);
    console.Summary(SummaryText(options, recorder.Count(), end, outcome.result));
}

Cli::ExitCode CodeFor(const Capture::CaptureError& error)
{
    switch (error.GetKind()) {
    case Capture::CaptureError::Kind::NoDisplay:
    case Capture::CaptureError::Kind::MissingProtocol:
        return Cli::ExitCode::DisplayError;
    case Capture::CaptureError::Kind::NoTarget:
    case Capture::CaptureError::Kind::TargetGone:
    case Capture::CaptureError::Kind::Unreadable:
        break;
    }
    return Cli::ExitCode::InputError;
}

Cli::ExitCode Main(const std::vector<std::string>& arguments)
{
    Cli::Console usageConsole(PROGRAM, std::cerr, std::cout, Cli::Console::ProgressStyle::Silent);
    CommandLine commandLine;
    try {
        commandLine = ParseCommandLine(arguments);
    } catch (const Cli::ToolError& error) {
        return Cli::Report(usageConsole, error, PROGRAM);
    }
    if (commandLine.action == Cli::Action::ShowHelp) {
        std::cout << HelpText();
        return Cli::ExitCode::Ok;
    }
    if (commandLine.action == Cli::Action::ShowVersion) {
        std::cout << Cli::VersionText(PROGRAM);
        return Cli::ExitCode::Ok;
    }

    Cli::Console console(PROGRAM, std::cerr, std::cout, Cli::Console::StyleForStandardError(commandLine.options.quiet));
    return Cli::RunReported(console, PROGRAM, [&] {
        try {
            Run(commandLine.options, console);
        } catch (const Capture::CaptureError& error) {
            throw Cli::ToolError(CodeFor(error), error.what());
        }
    });
}

}  // namespace

int main(int argc, char** argv)
{
    Cli::InstallCancelHandlers(SIGNALS_TO_CANCEL);
    return static_cast<int>(Main(std::vector<std::string>(argv + 1, argv + argc)));
}
