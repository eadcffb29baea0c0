#include "Options.h"

#include "ExitCodes.h"

#include <ZOLT/Capture/Backends.h>

#include <CLI/CLI.hpp>

#include <charconv>
#include <memory>
#include <sstream>

namespace ZOLT {
namespace CaptureTool {

namespace {

/// X resource ids have 29 bits.
constexpr unsigned long MAX_WINDOW_ID = 0x1fffffff;
constexpr int MAX_COORDINATE = 1 << 16;

const char* const DESCRIPTION =
    "Captures an X11 window while it scrolls: grabs it, turns its mouse wheel through XTest,\n"
    "waits for it to settle and grabs again, until the content stops moving; then joins the\n"
    "captures into one tall (or wide) image.";

const char* const FOOTER =
    "Ctrl-C ends the capture and stitches what was captured; a second Ctrl-C cancels and writes\n"
    "nothing. The image and the translations appear complete or not at all.\n"
    "\n"
    "Exit codes: 0 done, 1 stitching failed, 2 usage error, 3 window error (none matches, or it\n"
    "closed during the capture), 4 output error, 5 display error (no X display, no XTest),\n"
    "130 cancelled.";

bool ParseNumber(const std::string& text, int base, unsigned long& value)
{
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, base);
    return !text.empty() && error == std::errc() && stop == end;
}

/// A window id in decimal or with a 0x prefix in hexadecimal, as xwininfo and xprop show them.
CLI::Validator WindowId()
{
    return CLI::Validator(
        [](std::string& text) -> std::string {
            const bool hex = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0;
            unsigned long id = 0;
            if (!ParseNumber(hex ? text.substr(2) : text, hex ? 16 : 10, id) || id == 0 || id > MAX_WINDOW_ID) {
                return "expects a window id, decimal or 0x hexadecimal, not '" + text + "'";
            }
            text = std::to_string(id);
            return {};
        },
        "");
}

bool ParseRegion(const std::string& text, cv::Rect& region)
{
    std::istringstream fields(text);
    std::string field;
    int values[4] = {};
    for (int& value : values) {
        unsigned long number = 0;
        if (!std::getline(fields, field, ',') || !ParseNumber(field, 10, number) || number > MAX_COORDINATE) {
            return false;
        }
        value = static_cast<int>(number);
    }
    region = cv::Rect(values[0], values[1], values[2], values[3]);
    return fields.peek() == std::char_traits<char>::eof() && !region.empty();
}

void AddWindowOptions(CLI::App& app, Options& options)
{
    app.add_option("--backend", options.backend,
                   "how to reach the screen (default: wayland in a Wayland session, else x11)")
        ->type_name("NAME")
        ->check(Cli::OneOf(Capture::AvailableBackends()))
        ->group("Window");
    CLI::Option* const id = app.add_option("--window", options.target.id, "X11 window id (decimal or 0x hex)")
                                ->type_name("ID")
                                ->transform(WindowId())
                                ->group("Window");
    app.add_option("--window-name", options.target.title,
                   "the first top-level window whose title contains TEXT (neither: the window under the pointer)")
        ->type_name("TEXT")
        ->excludes(id)
        ->group("Window");
    app.add_option_function<std::string>(
           "--region",
           [&options](const std::string& text) {
               if (!ParseRegion(text, options.target.region)) {
                   throw CLI::ValidationError("--region",
                                              "expects X,Y,W,H in pixels with W and H above 0, not '" + text + "'");
               }
           },
           "capture only this part of the window (default: all of it)")
        ->type_name("X,Y,W,H")
        ->group("Window");
}

void AddScrollOptions(CLI::App& app, Options& options)
{
    Capture::ScrollPlan& scroll = options.scroll;
    app.add_option("--scroll", scroll.clicks, "wheel clicks per step")
        ->type_name("N")
        ->transform(Cli::WholeNumber(1, 100))
        ->capture_default_str()
        ->group("Scrolling");
    app.add_flag_callback(
           "--horizontal", [&scroll] { scroll.axis = Capture::Axis::Columns; }, "scroll sideways")
        ->group("Scrolling");
    app.add_option("--max-captures", scroll.maxCaptures, "stop after N captures")
        ->type_name("N")
        ->transform(Cli::WholeNumber(1, 100000))
        ->capture_default_str()
        ->group("Scrolling");
    app.add_option_function<unsigned int>(
           "--settle",
           [&scroll](unsigned int milliseconds) { scroll.settle = std::chrono::milliseconds(milliseconds); },
           "wait until two grabs this far apart are identical before capturing")
        ->type_name("MS")
        ->transform(Cli::WholeNumber(1, 60000))
        ->default_str(std::to_string(scroll.settle.count()))
        ->group("Scrolling");
}

/// The whole option table; parsing writes into `options`, which also supplies the defaults shown.
std::unique_ptr<CLI::App> MakeCommandLine(Options& options)
{
    auto app = std::make_unique<CLI::App>(DESCRIPTION, "zolt-capture");
    app->footer(FOOTER);
    app->get_formatter()->column_width(32);
    app->add_option("-o,--output", options.output, "the stitched image; PNG and WebP keep its transparency")
        ->type_name("FILE")
        ->group("Output");
    Cli::AddOutputFileOptions(*app, options);
    app->add_option("--save-captures", options.saveFolder, "also keep the raw captures as numbered PNGs")
        ->type_name("DIR")
        ->group("Output");
    AddWindowOptions(*app, options);
    AddScrollOptions(*app, options);
    Cli::AddStitcherOption(*app, options);
    Cli::AddThreadsOption(*app, options);
    Cli::AddMemoryOptions(*app, options);
    Cli::AddQuietOption(*app, options);
    Cli::AddVersionFlag(*app);
    return app;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments)
{
    CommandLine commandLine;
    const std::unique_ptr<CLI::App> app = MakeCommandLine(commandLine.options);
    commandLine.action = Cli::ParseArguments(*app, arguments);
    if (commandLine.action == Cli::Action::Run) {
        // The tool turns the wheel one way only, so movement along the other axis is a misreading.
        commandLine.options.parameters.direction = commandLine.options.scroll.axis == Capture::Axis::Columns ? 1 : 0;
        if (commandLine.options.output.empty()) {
            throw Cli::ToolError(Cli::ExitCode::Usage, "no output: name the stitched image with -o OUTPUT.png");
        }
        Cli::CheckOutputNames(commandLine.options.output, commandLine.options);
    }
    return commandLine;
}

std::string HelpText()
{
    Options defaults;
    return MakeCommandLine(defaults)->help();
}

}  // namespace CaptureTool
}  // namespace ZOLT
