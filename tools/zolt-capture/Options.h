#pragma once

// The command line of zolt-capture: what it asks for, parsed and checked.

#include "CommonOptions.h"
#include <ZOLT/Capture/Backend.h>
#include <ZOLT/Capture/ScrollLoop.h>

#include <string>
#include <vector>

namespace ZOLT {
namespace CaptureTool {

struct Options : Cli::CommonOptions {
    std::string output;
    /// --backend; empty for the one the session suggests.
    std::string backend;
    /// --window, --window-name, --region.
    Capture::TargetQuery target;
    Capture::ScrollPlan scroll;
    /// Folder for the numbered raw captures; empty for none.
    std::string saveFolder;
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

}  // namespace CaptureTool
}  // namespace ZOLT
