// zolt-capture: captures a window while its content scrolls and joins the captures into one
// image with the ZOLT.Stitching library.
//
//   zolt-capture [OPTIONS] -o OUTPUT.png      (zolt-capture --help for the options)

#include "Cancellation.h"
#include "CaptureRun.h"
#include "Console.h"
#include "ExitCodes.h"
#include "Options.h"
#include "OutputFiles.h"

#include <ZOLT/Capture/Backends.h>
#include <ZOLT/Capture/CaptureError.h>
#include <ZOLT/Capture/Clock.h>

#include <csignal>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace ZOLT::CaptureTool;
namespace Cli = ZOLT::Cli;
namespace Capture = ZOLT::Capture;

constexpr const char* PROGRAM = "zolt-capture";
/// The first Ctrl-C ends the capture, the second cancels the run.
constexpr int SIGNALS_TO_CANCEL = 2;

std::unique_ptr<Capture::ICaptureBackend> OpenBackend(const Options& options)
{
    const std::string name =
        options.backend.empty() ? Capture::ChooseBackend(Capture::SessionEnvironment::FromProcess()) : options.backend;
    return Capture::OpenBackend(name);
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

    const Options& options = commandLine.options;
    // With the image on standard output, nothing else may go there.
    std::ostream& summary = options.output == Cli::STANDARD_OUTPUT ? std::cerr : std::cout;
    Cli::Console console(PROGRAM, std::cerr, summary, Cli::Console::StyleForStandardError(options.quiet));
    return Cli::RunReported(console, PROGRAM, [&] {
        try {
            const std::unique_ptr<Capture::ICaptureBackend> backend = OpenBackend(options);
            Capture::SystemClock clock;
            RunCapture(options, *backend, clock, console);
        } catch (const Capture::CaptureError& error) {
            throw Cli::ToolError(CodeFor(error), error.what());
        }
    });
}

}  // namespace

int main(int argc, char** argv)
{
    Cli::InstallCancelHandlers(SIGNALS_TO_CANCEL);
    // A reader that closes the pipe early is an output error, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
    return static_cast<int>(Main(std::vector<std::string>(argv + 1, argv + argc)));
}
