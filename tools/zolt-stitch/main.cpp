// zolt-stitch: joins scrolling screen captures into one image with the ZOLT.Stitching library.
//
//   zolt-stitch [OPTIONS] INPUT... -o OUTPUT.png      (zolt-stitch --help for the options)

#include "Cancellation.h"
#include "CaptureFiles.h"
#include "CaptureLoading.h"
#include "Console.h"
#include "ExitCodes.h"
#include "Options.h"
#include "OutputFiles.h"
#include "StitchRun.h"

#include <ZOLT/Preview.h>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace ZOLT::StitchTool;
namespace Cli = ZOLT::Cli;

constexpr const char* PROGRAM = "zolt-stitch";

std::string SummaryText(const Options& options, std::size_t captures, const cv::Mat& result)
{
    std::string text = "Stitched " + std::to_string(captures) + (captures == 1 ? " capture" : " captures") + " (" +
                       Cli::StitcherName(options.stitcher) + " stitcher) into " + options.output + ", " +
                       std::to_string(result.cols) + " x " + std::to_string(result.rows) + " pixels";
    if (!options.previewFile.empty()) {
        text += "; preview in " + options.previewFile;
    }
    if (!options.translationsFile.empty()) {
        text += "; translations in " + options.translationsFile;
    }
    return text;
}

void Run(const Options& options, Cli::Console& console)
{
    Cli::CheckOutputTargets(options.output, options);
    const std::vector<std::filesystem::path> files = ListCaptureFiles(options.inputs);

    // The spill folder outlives the store, which deletes its own files first.
    std::optional<Cli::SpillFolder> spillFolder;
    const std::unique_ptr<Cli::CaptureStore> store = Cli::MakeCaptureStore(options, spillFolder);
    std::unique_ptr<ZOLT::Stitching::PreviewImage> preview;
    if (!options.previewFile.empty()) {
        preview = std::make_unique<ZOLT::Stitching::PreviewImage>();
    }

    LoadCaptures(files, *store, preview.get(), console);

    const Cli::StitchOutcome outcome =
        Cli::StitchAndWrite(options, options.output, store->Provider(), files.size(), preview.get(), console);
    console.Summary(SummaryText(options, files.size(), outcome.result));
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
    if (commandLine.action == Action::ShowHelp) {
        std::cout << HelpText();
        return Cli::ExitCode::Ok;
    }
    if (commandLine.action == Action::ShowVersion) {
        std::cout << VersionText();
        return Cli::ExitCode::Ok;
    }

    Cli::Console console(PROGRAM, std::cerr, std::cout, Cli::Console::StyleForStandardError(commandLine.options.quiet));
    return Cli::RunReported(console, PROGRAM, [&] { Run(commandLine.options, console); });
}

}  // namespace

int main(int argc, char** argv)
{
    Cli::InstallCancelHandlers();
    return static_cast<int>(Main(std::vector<std::string>(argv + 1, argv + argc)));
}
