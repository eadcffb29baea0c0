#include "Options.h"

#include "ExitCodes.h"
#include "OutputFiles.h"

#include <ZOLT/Capture/Backends.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <memory>
#include <sstream>

#include <unistd.h>

namespace ZOLT {
namespace CaptureTool {

namespace {

/// X resource ids have 29 bits.
constexpr unsigned long MAX_WINDOW_ID = 0x1fffffff;
constexpr int MAX_COORDINATE = 1 << 16;

const char* const DESCRIPTION =
    "Captures a window while its content scrolls and joins the captures into one tall (or wide)\n"
    "image. With the page stitcher, each capture is measured while the next one is taken.\n"
    "\n"
    "Automatic (the default): the tool turns the wheel step by step, waiting for the window to\n"
    "settle after each, until the content stops moving.\n"
    "  zolt-capture --window-name Chromium -o page.png\n"
    "--from-start: first scroll back until the content no longer moves, then capture.\n"
    "  zolt-capture --from-start --window-name Chromium -o page.png\n"
    "--up, --left: capture towards the start, for content left at its end (a terminal).\n"
    "  zolt-capture --up --window-name xterm -o log.png\n"
    "--manual: you scroll (wheel, keys, scrollbar, touchpad) and the tool watches: it keeps a\n"
    "capture whenever the content moved and settled, drops those that add nothing, and ends\n"
    "on Enter, Ctrl-C or --idle seconds without change. Going back up does no harm: the page\n"
    "comes out once, in page order.\n"
    "  zolt-capture --manual --window-name Chromium -o page.png\n"
    "--select: click a window, or press and drag a rectangle around a pane; the wheel then\n"
    "scrolls the pane (as with --region). Escape cancels.\n"
    "  zolt-capture --select -o - | xclip -selection clipboard -t image/png\n";

const char* const FOOTER =
    "Ctrl-C ends the capture and stitches what was captured; a second Ctrl-C cancels and writes\n"
    "nothing. The image and the translations appear complete or not at all.\n"
    "\n"
    "Exit codes: 0 done, 1 stitching failed, 2 usage error, 3 window error (none matches, the\n"
    "region is outside it, it closed or was hidden, its content does not scroll or never stops\n"
    "changing), 4 output error, 5 display error (no display, a missing extension or protocol),\n"
    "6 selection cancelled (Escape), 130 cancelled.";

/// An animated target is given up on after this many settle times, and at least this long.
constexpr int GIVE_UP_SETTLES = 20;
constexpr std::chrono::milliseconds MIN_GIVE_UP{5000};
/// Scroll input may take this many settle times to show, and at least this long.
constexpr int FIRST_CHANGE_SETTLES = 4;
constexpr std::chrono::milliseconds MIN_FIRST_CHANGE{1000};

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

void AddTargetOptions(CLI::App& app, Options& options)
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
    CLI::Option* const name =
        app.add_option("--window-name", options.target.title,
                       "the first top-level window whose title contains TEXT (none of these: the window under "
                       "the pointer)")
            ->type_name("TEXT")
            ->excludes(id)
            ->group("Window");
    CLI::Option* const region =
        app.add_option_function<std::string>(
               "--region",
               [&options](const std::string& text) {
                   if (!ParseRegion(text, options.target.region)) {
                       throw CLI::ValidationError("--region",
                                                  "expects X,Y,W,H in pixels with W and H above 0, not '" + text + "'");
                   }
               },
               "capture only this part of the window, and scroll at its centre (default: all of it)")
            ->type_name("X,Y,W,H")
            ->group("Window");
    app.add_flag("--select", options.select, "click the window to capture, or drag a rectangle around a pane")
        ->disable_flag_override()
        ->excludes(id)
        ->excludes(name)
        ->excludes(region)
        ->group("Window");
}

void AddModeOptions(CLI::App& app, Options& options)
{
    Capture::ScrollPlan& scroll = options.scroll;
    CLI::Option* const manual = app.add_flag("--manual", options.manual, "you scroll, the tool watches")
                                    ->disable_flag_override()
                                    ->group("Mode");
    app.add_option_function<unsigned int>(
           "--idle", [&options](unsigned int seconds) { options.idle = std::chrono::seconds(seconds); },
           "--manual ends after this long without change on the screen; 0 never")
        ->type_name("S")
        ->transform(Cli::WholeNumber(0, 86400))
        ->default_str(std::to_string(std::chrono::duration_cast<std::chrono::seconds>(options.idle).count()))
        ->needs(manual)
        ->group("Mode");
    app.add_flag("--from-start", scroll.fromStart,
                 "first scroll back until the content no longer moves (with --up or --left: to its end)")
        ->disable_flag_override()
        ->excludes(manual)
        ->group("Mode");
    CLI::Option* const horizontal =
        app.add_flag_callback(
               "--horizontal", [&scroll] { scroll.axis = Capture::Axis::Columns; }, "scroll sideways")
            ->group("Mode");
    CLI::Option* const up = app.add_flag("--up", scroll.towardStart, "capture upwards, towards the start")
                                ->disable_flag_override()
                                ->excludes(manual)
                                ->excludes(horizontal)
                                ->group("Mode");
    app.add_flag_callback(
           "--left",
           [&scroll] {
               scroll.axis = Capture::Axis::Columns;
               scroll.towardStart = true;
           },
           "capture leftwards, towards the start")
        ->excludes(manual)
        ->excludes(horizontal)
        ->excludes(up)
        ->group("Mode");
}

void AddScrollOptions(CLI::App& app, Options& options)
{
    Capture::ScrollPlan& scroll = options.scroll;
    app.add_option("--scroll", scroll.clicks,
                   "wheel clicks per step (default: the first step takes one, the others as many as move the "
                   "view about half of the area that scrolls, never more than 55 % of it)")
        ->type_name("N")
        ->transform(Cli::WholeNumber(1, 100))
        ->group("Scrolling");
    app.add_option("--max-captures", scroll.maxCaptures, "stop after N captures")
        ->type_name("N")
        ->transform(Cli::WholeNumber(1, 100000))
        ->capture_default_str()
        ->group("Scrolling");
    app.add_option_function<unsigned int>(
           "--settle",
           [&scroll](unsigned int milliseconds) { scroll.settle = SettleFor(std::chrono::milliseconds(milliseconds)); },
           "a grab counts once the window showed the same for this long (4 grabs); a window still changing "
           "after 20 times that (at least 5 s) is given up on")
        ->type_name("MS")
        ->transform(Cli::WholeNumber(4, 60000))
        ->default_str(std::to_string(scroll.settle.settle.count()))
        ->group("Scrolling");
}

/// The whole option table; parsing writes into `options`, which also supplies the defaults shown.
std::unique_ptr<CLI::App> MakeCommandLine(Options& options)
{
    auto app = std::make_unique<CLI::App>(DESCRIPTION, "zolt-capture");
    app->footer(FOOTER);
    app->get_formatter()->column_width(32);
    app->add_option("-o,--output", options.output, "the stitched image; - writes it as PNG to standard output")
        ->type_name("FILE")
        ->group("Output");
    Cli::AddOutputFileOptions(*app, options);
    app->add_option("--save-captures", options.saveFolder, "also keep the raw captures as numbered PNGs")
        ->type_name("DIR")
        ->group("Output");
    AddTargetOptions(*app, options);
    AddModeOptions(*app, options);
    AddScrollOptions(*app, options);
    Cli::AddStitcherOption(*app, options);
    Cli::AddThreadsOption(*app, options);
    Cli::AddMemoryOptions(*app, options);
    Cli::AddQuietOption(*app, options);
    Cli::AddVersionFlag(*app);
    return app;
}

void CheckOutput(const Options& options)
{
    if (options.output.empty()) {
        throw Cli::ToolError(Cli::ExitCode::Usage, "no output: name the stitched image with -o OUTPUT.png");
    }
    if (options.output != Cli::STANDARD_OUTPUT) {
        Cli::CheckOutputNames(options.output, options);
        return;
    }
    if (::isatty(STDOUT_FILENO) != 0) {
        throw Cli::ToolError(Cli::ExitCode::Usage,
                             "-o - writes the image to standard output, which is a terminal here; pipe it into a "
                             "program or name a file");
    }
    // The image itself needs no file name: check the others as beside a PNG.
    Cli::CheckOutputNames(std::string(Cli::STANDARD_OUTPUT) + ".png", options);
}

}  // namespace

Capture::WatchPlan Options::Watch() const
{
    return Capture::WatchPlan{scroll.axis, scroll.maxCaptures, idle, scroll.settle};
}

Capture::SettlePolicy SettleFor(std::chrono::milliseconds settle)
{
    Capture::SettlePolicy policy;
    policy.settle = settle;
    policy.giveUp = std::max(MIN_GIVE_UP, GIVE_UP_SETTLES * settle);
    policy.firstChange = std::max(MIN_FIRST_CHANGE, FIRST_CHANGE_SETTLES * settle);
    return policy;
}

CommandLine ParseCommandLine(const std::vector<std::string>& arguments)
{
    CommandLine commandLine;
    const std::unique_ptr<CLI::App> app = MakeCommandLine(commandLine.options);
    commandLine.action = Cli::ParseArguments(*app, arguments);
    if (commandLine.action == Cli::Action::Run) {
        // The tool turns the wheel one way only, so movement along the other axis is a misreading.
        commandLine.options.parameters.direction = commandLine.options.scroll.axis == Capture::Axis::Columns ? 1 : 0;
        CheckOutput(commandLine.options);
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
