#pragma once

// The command line of zolt-stitch: what it asks for, parsed and checked.

#include "CommonOptions.h"

#include <string>
#include <vector>

namespace ZOLT {
namespace StitchTool {

using Cli::Action;
using Cli::StitcherKind;

/// Grey difference above which border detection counts a pixel as changed. On framed synthetic
/// series it finds the frame to the pixel in lossless captures and in JPEG captures down to
/// quality 80 (at quality 60 the box grows by up to 3 pixels); lower values let JPEG noise in
/// the frame widen the box, much higher ones start to miss faint anti-aliased edges.
constexpr unsigned int DEFAULT_CHANGE_THRESHOLD = 24;
/// Changed neighbours above which a changed pixel is content: isolated specks and thin lines
/// (a blinking cursor, a one-pixel rule) are not.
constexpr unsigned int DEFAULT_NEIGHBOR_THRESHOLD = 3;

struct Options : Cli::CommonOptions {
    /// Image files and folders, in the order given.
    std::vector<std::string> inputs;
    std::string output;

    unsigned int scaleFactor = 1;
    unsigned int changeThreshold = DEFAULT_CHANGE_THRESHOLD;
    unsigned int neighborThreshold = DEFAULT_NEIGHBOR_THRESHOLD;
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
