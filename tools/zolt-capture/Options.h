#pragma once

// The command line of zolt-capture: what it asks for, parsed and checked.

#include "CommonOptions.h"

#include <ZOLT/Capture/Backend.h>
#include <ZOLT/Capture/ScrollLoop.h>
#include <ZOLT/Capture/WatchLoop.h>

#include <chrono>
#include <string>
#include <vector>

namespace ZOLT {
namespace CaptureTool {

struct Options : Cli::CommonOptions {
    /// The stitched image; Cli::STANDARD_OUTPUT for standard output.
    std::string output;
    /// --backend; empty for the one the session suggests.
    std::string backend;
    /// --window, --window-name, --region.
    Capture::TargetQuery target;
    /// --select: the user picks the window or a rectangle.
    bool select = false;
    /// --manual: the user scrolls, the tool watches.
    bool manual = false;
    /// The automatic mode's plan; its axis, maximum and settle time serve --manual too.
    Capture::ScrollPlan scroll;
    /// --idle: --manual ends after this long without change; 0 never.
    std::chrono::milliseconds idle{10000};
    /// Folder for the numbered raw captures; empty for none.
    std::string saveFolder;
    /// Measure each pair while the next capture is taken (page stitcher); off, everything is
    /// stitched after the last capture. Not an option: the capture benchmark compares the two.
    bool stitchWhileCapturing = true;

    Capture::WatchPlan Watch() const;
};

struct CommandLine {
    Cli::Action action = Cli::Action::Run;
    Options options;
};

/// Parses the arguments after the program name. Throws Cli::ToolError with Cli::ExitCode::Usage
/// for anything it cannot accept, naming the option and what it expects.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

/// The text of --help; the defaults shown are those of a default Options.
std::string HelpText();

/// The settle policy of `--settle milliseconds`: the animation limit and the wait for scroll
/// input to show grow with it.
Capture::SettlePolicy SettleFor(std::chrono::milliseconds settle);

}  // namespace CaptureTool
}  // namespace ZOLT
