#include "Options.h"

#include "ExitCodes.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <limits>
#include <memory>

namespace ZOLT {
namespace StitchTool {

namespace {

constexpr std::uint64_t INT32_LIMIT = std::numeric_limits<std::int32_t>::max();

const char* const DESCRIPTION =
    "Joins screen captures, taken while a window's content scrolled, into one tall (or wide)\n"
    "image. INPUT is an image file or a folder; the images of a folder are taken in natural\n"
    "name order (2.png before 10.png), other files in it are skipped. Any format OpenCV reads\n"
    "(PNG, JPEG, BMP, WebP, TIFF, ...); grey and colour images get an opaque alpha channel.";

const char* const FOOTER =
    "Ctrl-C stops the run cleanly (twice: at once). Nothing is written unless the whole run\n"
    "succeeds; files appear complete or not at all.\n"
    "\n"
    "Exit codes: 0 done, 1 stitching failed, 2 usage error, 3 input error, 4 output error,\n"
    "130 cancelled.";

[[noreturn]] void FailUsage(const std::string& message)
{
    throw Cli::ToolError(Cli::ExitCode::Usage, message);
}

void AddDetectionOptions(CLI::App& app, Options& options)
{
    Stitching::StitcherParameters& p = options.parameters;
    const auto direction = [&p](const std::string& axes) {
        p.direction = axes == "vertical" ? 0 : axes == "horizontal" ? 1 : 2;
    };
    app.add_option_function<std::string>("--direction", direction, "the axes along which movement is measured")
        ->type_name("AXES")
        ->check(Cli::OneOf({"vertical", "horizontal", "both"}))
        ->default_str("both")
        ->group("Stitching");
    Cli::AddThreadsOption(app, options);
    app.add_flag("--alternative-peak", p.useAlternativePeak,
                 "replace a pair's movement by its second-best match when that repeats the previous pair's "
                 "movement (steady scrolling over repeating content)")
        ->disable_flag_override()
        ->group("Stitching");
    app.add_option("--min-peak", p.minimumPeakValue, "weakest match accepted without a warning")
        ->type_name("X")
        ->check(Cli::NonNegativeReal())
        ->capture_default_str()
        ->group("Stitching");
    app.add_option("--max-zero-percent", p.maxZeroTranslationsPercent,
                   "warn when more than N% of the captures did not move")
        ->type_name("N")
        ->transform(Cli::WholeNumber(0, 100))
        ->capture_default_str()
        ->group("Stitching");
    app.add_option("--max-zero-run", p.maxConsecutiveZeroTranslations,
                   "warn when more than N captures in a row did not move")
        ->type_name("N")
        ->transform(Cli::WholeNumber(0, std::numeric_limits<std::uint32_t>::max()))
        ->capture_default_str()
        ->group("Stitching");
}

void AddSmartOptions(CLI::App& app, Options& options)
{
    Stitching::StitcherParameters& p = options.parameters;
    // Colour differences are summed over four 8-bit channels.
    app.add_option("--difference-threshold", p.differenceThreshold,
                   "colour difference, summed over the four channels, above which a pixel has changed")
        ->type_name("N")
        ->transform(Cli::WholeNumber(0, 4 * 255))
        ->capture_default_str()
        ->group("Smart stitcher");
    app.add_option("--min-border-width", p.minimumBorderWidth,
                   "fixed margins narrower than N pixels are stitched with the changing region")
        ->type_name("N")
        ->transform(Cli::WholeNumber(0, INT32_LIMIT))
        ->capture_default_str()
        ->group("Smart stitcher");
    app.add_option("--scale-factor", options.scaleFactor,
                   "multiplies pixel distances, e.g. 2 for captures of a display at 200%")
        ->type_name("N")
        ->transform(Cli::WholeNumber(1, INT32_LIMIT))
        ->capture_default_str()
        ->group("Smart stitcher");
}

void AddBorderOptions(CLI::App& app, Options& options)
{
    app.add_option("--change-threshold", options.changeThreshold,
                   "grey difference (0-255) above which a pixel has changed")
        ->type_name("N")
        ->transform(Cli::WholeNumber(0, 255))
        ->capture_default_str()
        ->group("Border detection");
    app.add_option("--neighbor-threshold", options.neighborThreshold,
                   "a changed pixel is content when more than N of its 8 neighbours changed too")
        ->type_name("N")
        ->transform(Cli::WholeNumber(0, 8))
        ->capture_default_str()
        ->group("Border detection");
}

/// The whole option table; parsing writes into `options`, which also supplies the defaults shown.
std::unique_ptr<CLI::App> MakeCommandLine(Options& options)
{
    auto app = std::make_unique<CLI::App>(DESCRIPTION, "zolt-stitch");
    app->footer(FOOTER);
    app->get_formatter()->column_width(32);
    app->add_option("INPUT", options.inputs, "capture files and folders, in order")->type_name("");
    app->add_option("-o,--output", options.output, "the stitched image; PNG and WebP keep its transparency")
        ->type_name("FILE")
        ->group("Output");
    Cli::AddOutputFileOptions(*app, options);
    Cli::AddStitcherOption(*app, options);
    AddDetectionOptions(*app, options);
    AddSmartOptions(*app, options);
    AddBorderOptions(*app, options);
    Cli::AddMemoryOptions(*app, options);
    Cli::AddQuietOption(*app, options);
    Cli::AddVersionFlag(*app);
    return app;
}

/// Checks what single options cannot: the required arguments and the values that meet.
void CheckCompleteness(const Options& options)
{
    if (options.inputs.empty()) {
        FailUsage("no input: name the capture files or folders to stitch");
    }
    if (options.output.empty()) {
        FailUsage("no output: name the stitched image with -o OUTPUT.png");
    }
    Cli::CheckOutputNames(options.output, options);
    // The smart stitcher multiplies the two as 32-bit signed integers.
    const std::uint64_t borderWidth =
        static_cast<std::uint64_t>(options.parameters.minimumBorderWidth) * options.scaleFactor;
    if (borderWidth > INT32_LIMIT) {
        FailUsage("--min-border-width times --scale-factor must stay below " + std::to_string(INT32_LIMIT));
    }
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments)
{
    CommandLine commandLine;
    const std::unique_ptr<CLI::App> app = MakeCommandLine(commandLine.options);
    commandLine.action = Cli::ParseArguments(*app, arguments);
    if (commandLine.action == Action::Run) {
        CheckCompleteness(commandLine.options);
    }
    return commandLine;
}

std::string HelpText()
{
    Options defaults;
    return MakeCommandLine(defaults)->help();
}

std::string VersionText()
{
    return Cli::VersionText("zolt-stitch");
}

}  // namespace StitchTool
}  // namespace ZOLT
