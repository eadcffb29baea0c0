#pragma once

// The options the command-line tools share, declared once for CLI11: the table gives the help
// text, the checks and the accepted forms (--name value, --name=value, -j4) together.

#include <ZOLT/Core.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace CLI {
class App;
class Validator;
}  // namespace CLI

namespace ZOLT {
namespace Cli {

enum class StitcherKind { Basic, Smart, Borders, Page };

const char* StitcherName(StitcherKind kind);

/// Budget of the memory-bounded store when only a spill folder is named: the library's own.
constexpr std::size_t DEFAULT_MEMORY_LIMIT_MB = 200;
constexpr std::size_t MEBIBYTE = 1024 * 1024;

/// Grey difference above which border detection counts a pixel as changed. On framed synthetic
/// series it finds the frame to the pixel in lossless captures and in JPEG captures down to
/// quality 80 (at quality 60 the box grows by up to 3 pixels); lower values let JPEG noise in
/// the frame widen the box, much higher ones start to miss faint anti-aliased edges.
constexpr unsigned int DEFAULT_CHANGE_THRESHOLD = 24;
/// Changed neighbours above which a changed pixel is content: isolated specks and thin lines
/// (a blinking cursor, a one-pixel rule) are not.
constexpr unsigned int DEFAULT_NEIGHBOR_THRESHOLD = 3;

/// What every tool that stitches asks for.
struct CommonOptions {
    CommonOptions();

    StitcherKind stitcher = StitcherKind::Page;
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

/// Accepts a decimal whole number from `low` to `high` and hands it on in plain decimal, so
/// "010" means ten and not an octal eight.
CLI::Validator WholeNumber(std::uint64_t low, std::uint64_t high);
/// Accepts one of `names`.
CLI::Validator OneOf(const std::vector<std::string>& names);
/// Accepts a finite number of 0 or more.
CLI::Validator NonNegativeReal();

/// --preview FILE and --translations FILE.
void AddOutputFileOptions(CLI::App& app, CommonOptions& options);
/// --stitcher KIND.
void AddStitcherOption(CLI::App& app, CommonOptions& options);
/// -j, --threads N.
void AddThreadsOption(CLI::App& app, CommonOptions& options);
/// --memory-limit MB and --spill-dir DIR; either one selects the memory-bounded store.
void AddMemoryOptions(CLI::App& app, CommonOptions& options);
/// -q, --quiet.
void AddQuietOption(CLI::App& app, CommonOptions& options);

enum class Action { Run, ShowHelp, ShowVersion };

/// Adds -V, --version; -h, --help comes with every CLI::App.
void AddVersionFlag(CLI::App& app);

/// Checks the names of the files a run writes: the output and the preview need an image file
/// extension that can be written, and the output, the preview and the translations need names
/// of their own. Throws ToolError (usage error).
void CheckOutputNames(const std::string& output, const CommonOptions& options);

/// The text of --version: the tool and the library and OpenCV versions it was built with.
std::string VersionText(const std::string& program);

/// Parses the arguments after the program name. Throws ToolError with ExitCode::Usage for
/// anything the table refuses, naming the option and what it expects.
Action ParseArguments(CLI::App& app, const std::vector<std::string>& arguments);

}  // namespace Cli
}  // namespace ZOLT
