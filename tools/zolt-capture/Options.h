#pragma once

// The command line of zolt-capture: what it asks for, parsed and checked.

#include "CommonOptions.h"
#include "ScrollSettings.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace ZOLT {
namespace CaptureTool {

struct Options : Cli::CommonOptions {
    std::string output;
    /// --window; 0 when not given.
    unsigned long windowId = 0;
    /// --window-name; empty when not given. Neither: the window under the pointer.
    std::string windowName;
    /// Window coordinates; empty for the whole window.
    cv::Rect region;
    ScrollSettings scroll;
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
