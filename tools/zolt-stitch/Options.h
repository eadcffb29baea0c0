#pragma once

// The command line of zolt-stitch: what it asks for, parsed and checked.

#include <ZOLT/Core.h>

#include <cstddef>
#include <string>
#include <vector>

namespace ZOLT {
namespace StitchTool {

enum class StitcherKind { Basic, Smart, Borders };

/// Grey difference above which border detection counts a pixel as changed. On framed synthetic
/// series it finds the frame to the pixel in lossless captures and in JPEG captures down to
/// quality 80 (at quality 60 the box grows by up to 3 pixels); lower values let JPEG noise in
/// the frame widen the box, much higher ones start to miss faint anti-aliased edges.
constexpr unsigned int DEFAULT_CHANGE_THRESHOLD = 24;
/// Changed neighbours above which a changed pixel is content: isolated specks and thin lines
/// (a blinking cursor, a one-pixel rule) are not.
constexpr unsigned int DEFAULT_NEIGHBOR_THRESHOLD = 3;
/// Budget of the memory-bounded store when only a spill folder is named: the library's own.
constexpr std::size_t DEFAULT_MEMORY_LIMIT_MB = 200;
constexpr std::size_t MEBIBYTE = 1024 * 1024;

struct Options {
    Options();

    /// Image files and folders, in the order given.
    std::vector<std::string> inputs;
    std::string output;

    StitcherKind stitcher = StitcherKind::Borders;
    /// The library's tuning values; maxThreads starts at the number of cores.
    Stitching::StitcherParameters parameters;
    unsigned int scaleFactor = 1;
    unsigned int changeThreshold = DEFAULT_CHANGE_THRESHOLD;
    unsigned int neighborThreshold = DEFAULT_NEIGHBOR_THRESHOLD;

    /// Keep the captures in the memory-bounded store instead of all in memory.
    bool boundedMemory = false;
    /// Budget of the bounded store in bytes.
    std::size_t memoryLimitBytes = DEFAULT_MEMORY_LIMIT_MB * MEBIBYTE;
    /// Folder for spill files; empty for a fresh temporary folder.
    std::string spillFolder;

    std::string previewFile;
    std::string translationsFile;
    bool quiet = false;
};

enum class Action { Run, ShowHelp, ShowVersion };

struct CommandLine {
    Action action = Action::Run;
    Options options;
};

/// Parses the arguments after the program name. Throws ToolError with ExitCode::Usage for
/// anything it cannot accept, naming the option and what it expects.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

/// The text of --help; the defaults shown are those of a default Options.
std::string HelpText();

/// The text of --version: the tool and the library version it was built with.
std::string VersionText();

const char* StitcherName(StitcherKind kind);

}  // namespace StitchTool
}  // namespace ZOLT
