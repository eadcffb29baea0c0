#pragma once

// The command line of zolt-stitch: what it asks for, parsed and checked.

#include "CommonOptions.h"

#include <string>
#include <vector>

namespace ZOLT {
namespace StitchTool {

using Cli::Action;
using Cli::StitcherKind;

struct Options : Cli::CommonOptions {
    /// Image files and folders, in the order given.
    std::vector<std::string> inputs;
    std::string output;
};

struct CommandLine {
    Action action = Action::Run;
    Options options;
};

/// Parses the arguments after the program name. Throws Cli::ToolError with Cli::ExitCode::Usage for
/// anything it cannot accept, naming the option and what it expects.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

/// The text of --help; the defaults shown are those of a default Options.
std::string HelpText();

/// The text of --version: the tool and the library version it was built with.
std::string VersionText();

}  // namespace StitchTool
}  // namespace ZOLT
