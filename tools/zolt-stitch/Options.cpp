#include "Options.h"

#include "ExitCodes.h"

#include <ZOLT/Version.h>

#include <opencv2/core/version.hpp>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <sstream>
#include <thread>

namespace ZOLT {
namespace StitchTool {

namespace {

constexpr std::int32_t INT32_LIMIT = std::numeric_limits<std::int32_t>::max();
constexpr std::uint64_t MAX_THREADS = 1024;

/// Stores an option's value into Options; `option` is the name as given, for messages.
using ApplyOption = std::function<void(Options& options, const std::string& option, const std::string& value)>;

/// One option of the command line: how it is spelled and what its value does to Options.
struct OptionSpec {
    const char* name;
    char shortName;
    /// Placeholder of the value in messages; null for a flag.
    const char* valueName;
    ApplyOption apply;
};

[[noreturn]] void FailUsage(const std::string& message)
{
    throw ToolError(ExitCode::Usage, message);
}

std::uint64_t ParseWholeNumber(const std::string& option, const std::string& text, std::uint64_t low,
                               std::uint64_t high)
{
    std::uint64_t value = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < low || value > high) {
        FailUsage(option + " expects a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
                  ", not '" + text + "'");
    }
    return value;
}

double ParsePositiveReal(const std::string& option, const std::string& text)
{
    double value = 0.0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || !std::isfinite(value) || value < 0.0) {
        FailUsage(option + " expects a number of 0 or more, not '" + text + "'");
    }
    return value;
}

ApplyOption TextInto(std::string Options::*field)
{
    return [field](Options& options, const std::string&, const std::string& value) { options.*field = value; };
}

template <typename Field>
ApplyOption WholeNumberInto(Field Options::*field, std::uint64_t low, std::uint64_t high)
{
    return [field, low, high](Options& options, const std::string& option, const std::string& value) {
        options.*field = static_cast<Field>(ParseWholeNumber(option, value, low, high));
    };
}

template <typename Field>
ApplyOption ParameterInto(Field Stitching::StitcherParameters::*field, std::uint64_t low, std::uint64_t high)
{
    return [field, low, high](Options& options, const std::string& option, const std::string& value) {
        options.parameters.*field = static_cast<Field>(ParseWholeNumber(option, value, low, high));
    };
}

StitcherKind ParseStitcher(const std::string& option, const std::string& value)
{
    if (value == "basic") {
        return StitcherKind::Basic;
    }
    if (value == "smart") {
        return StitcherKind::Smart;
    }
    if (value == "borders") {
        return StitcherKind::Borders;
    }
    FailUsage(option + " expects basic, smart or borders, not '" + value + "'");
}

std::int32_t ParseDirection(const std::string& option, const std::string& value)
{
    if (value == "vertical") {
        return 0;
    }
    if (value == "horizontal") {
        return 1;
    }
    if (value == "both") {
        return 2;
    }
    FailUsage(option + " expects vertical, horizontal or both, not '" + value + "'");
}

std::uint64_t MemoryLimitBytes(const std::string& option, const std::string& value)
{
    return ParseWholeNumber(option, value, 0, std::numeric_limits<std::size_t>::max() / MEBIBYTE) * MEBIBYTE;
}

const std::vector<OptionSpec>& OptionTable()
{
    using Parameters = Stitching::StitcherParameters;
    static const std::vector<OptionSpec> table = {
        {"--output", 'o', "FILE", TextInto(&Options::output)},
        {"--preview", 0, "FILE", TextInto(&Options::previewFile)},
        {"--translations", 0, "FILE", TextInto(&Options::translationsFile)},
        {"--stitcher", 0, "KIND",
         [](Options& options, const std::string& option, const std::string& value) {
             options.stitcher = ParseStitcher(option, value);
         }},
        {"--direction", 0, "AXES",
         [](Options& options, const std::string& option, const std::string& value) {
             options.parameters.direction = ParseDirection(option, value);
         }},
        {"--threads", 'j', "N", ParameterInto(&Parameters::maxThreads, 1, MAX_THREADS)},
        {"--alternative-peak", 0, nullptr,
         [](Options& options, const std::string&, const std::string&) {
             options.parameters.useAlternativePeak = true;
         }},
        {"--min-peak", 0, "X",
         [](Options& options, const std::string& option, const std::string& value) {
             options.parameters.minimumPeakValue = ParsePositiveReal(option, value);
         }},
        {"--max-zero-percent", 0, "N", ParameterInto(&Parameters::maxZeroTranslationsPercent, 0, 100)},
        {"--max-zero-run", 0, "N",
         ParameterInto(&Parameters::maxConsecutiveZeroTranslations, 0, std::numeric_limits<std::uint32_t>::max())},
        // Colour differences are summed over four 8-bit channels.
        {"--difference-threshold", 0, "N", ParameterInto(&Parameters::differenceThreshold, 0, 4 * 255)},
        {"--min-border-width", 0, "N", ParameterInto(&Parameters::minimumBorderWidth, 0, INT32_LIMIT)},
        {"--scale-factor", 0, "N", WholeNumberInto(&Options::scaleFactor, 1, INT32_LIMIT)},
        {"--change-threshold", 0, "N", WholeNumberInto(&Options::changeThreshold, 0, 255)},
        {"--neighbor-threshold", 0, "N", WholeNumberInto(&Options::neighborThreshold, 0, 8)},
        {"--memory-limit", 0, "MB",
         [](Options& options, const std::string& option, const std::string& value) {
             options.boundedMemory = true;
             options.memoryLimitBytes = MemoryLimitBytes(option, value);
         }},
        {"--spill-dir", 0, "DIR",
         [](Options& options, const std::string&, const std::string& value) {
             options.boundedMemory = true;
             options.spillFolder = value;
         }},
        {"--quiet", 'q', nullptr,
         [](Options& options, const std::string&, const std::string&) { options.quiet = true; }},
    };
    return table;
}

const OptionSpec* FindOption(const std::string& name)
{
    for (const OptionSpec& option : OptionTable()) {
        if (name == option.name || (option.shortName != 0 && name == std::string{'-', option.shortName})) {
            return &option;
        }
    }
    return nullptr;
}

void CheckImageFileName(const char* what, const std::string& path)
{
    if (!path.empty() && !cv::haveImageWriter(path)) {
        FailUsage(std::string(what) + " '" + path +
                  "' has no image file extension that can be written; use .png (or .webp) to keep transparency");
    }
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
    CheckImageFileName("output", options.output);
    CheckImageFileName("preview", options.previewFile);
    if (options.output == options.previewFile || options.output == options.translationsFile ||
        (!options.previewFile.empty() && options.previewFile == options.translationsFile)) {
        FailUsage("the output, the preview and the translations need different file names");
    }
    // The smart stitcher multiplies the two as 32-bit signed integers.
    const std::int64_t borderWidth = static_cast<std::int64_t>(options.parameters.minimumBorderWidth) *
                                     static_cast<std::int64_t>(options.scaleFactor);
    if (borderWidth > INT32_LIMIT) {
        FailUsage("--min-border-width times --scale-factor must stay below " + std::to_string(INT32_LIMIT));
    }
}

}  // namespace

Options::Options()
{
    const unsigned int cores = std::thread::hardware_concurrency();
    parameters.maxThreads = cores == 0 ? 1 : static_cast<std::int32_t>(std::min<unsigned int>(cores, MAX_THREADS));
}

CommandLine ParseCommandLine(const std::vector<std::string>& arguments)
{
    CommandLine commandLine;
    Options& options = commandLine.options;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            options.inputs.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "--help" || argument == "-h") {
            commandLine.action = Action::ShowHelp;
            return commandLine;
        }
        if (argument == "--version" || argument == "-V") {
            commandLine.action = Action::ShowVersion;
            return commandLine;
        }

        // "--name=value" and "-xvalue" carry their value inline.
        const bool longForm = argument.rfind("--", 0) == 0;
        const std::size_t split = longForm ? argument.find('=') : 2;
        const std::string name = argument.substr(0, split);
        const bool inlineValue = split < argument.size();
        const OptionSpec* const option = FindOption(name);
        if (option == nullptr) {
            FailUsage("unknown option '" + name + "'");
        }
        std::string value;
        if (option->valueName == nullptr) {
            if (inlineValue) {
                FailUsage(name + " takes no value");
            }
        } else if (inlineValue) {
            value = argument.substr(longForm ? split + 1 : split);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            FailUsage(name + " needs a value (" + option->valueName + ")");
        }
        option->apply(options, name, value);
    }
    CheckCompleteness(options);
    return commandLine;
}

const char* StitcherName(StitcherKind kind)
{
    switch (kind) {
    case StitcherKind::Basic:
        return "basic";
    case StitcherKind::Smart:
        return "smart";
    case StitcherKind::Borders:
        return "borders";
    }
    return "borders";
}

std::string HelpText()
{
    const Options defaults;
    const Stitching::StitcherParameters& p = defaults.parameters;
    std::ostringstream text;
    text << "Usage: zolt-stitch [OPTIONS] INPUT... -o OUTPUT.png\n"
            "\n"
            "Joins screen captures, taken while a window's content scrolled, into one tall (or wide)\n"
            "image. INPUT is an image file or a folder; the images of a folder are taken in natural\n"
            "name order (2.png before 10.png), other files in it are skipped. Any format OpenCV reads\n"
            "(PNG, JPEG, BMP, WebP, TIFF, ...); grey and colour images get an opaque alpha channel.\n"
            "\n"
            "Output:\n"
            "  -o, --output FILE           the stitched image; PNG and WebP keep its transparency\n"
            "      --preview FILE          also write the small preview built capture by capture\n"
            "      --translations FILE     also write the measured translations as JSON\n"
            "\n"
            "Stitching:\n"
            "      --stitcher KIND         basic, smart or borders (default: borders)\n"
            "                                basic: joins the whole captures\n"
            "                                smart: joins only the region that changes, framed by the rest\n"
            "                                borders: crops the borders all captures share, joins the\n"
            "                                content and puts the borders back\n"
            "      --direction AXES        vertical, horizontal or both (default: both)\n"
            "  -j, --threads N             pairs of captures measured at once (default: number of cores,\n"
            "                              "
         << p.maxThreads
         << " here)\n"
            "      --alternative-peak      replace a pair's movement by its second-best match when that\n"
            "                              repeats the previous pair's movement (steady scrolling over\n"
            "                              repeating content)\n"
            "      --min-peak X            weakest match accepted without a warning (default: "
         << p.minimumPeakValue
         << ")\n"
            "      --max-zero-percent N    warn when more than N% of the captures did not move (default: "
         << p.maxZeroTranslationsPercent
         << ")\n"
            "      --max-zero-run N        warn when more than N captures in a row did not move (default: "
         << p.maxConsecutiveZeroTranslations
         << ")\n"
            "\n"
            "Smart stitcher:\n"
            "      --difference-threshold N  colour difference, summed over the four channels, above\n"
            "                              which a pixel has changed (default: "
         << p.differenceThreshold
         << ")\n"
            "      --min-border-width N    fixed margins narrower than N pixels are stitched with the\n"
            "                              changing region (default: "
         << p.minimumBorderWidth
         << ")\n"
            "      --scale-factor N        multiplies pixel distances, e.g. 2 for captures of a display\n"
            "                              at 200% (default: "
         << defaults.scaleFactor
         << ")\n"
            "\n"
            "Border detection:\n"
            "      --change-threshold N    grey difference (0-255) above which a pixel has changed\n"
            "                              (default: "
         << defaults.changeThreshold
         << ")\n"
            "      --neighbor-threshold N  a changed pixel is content when more than N of its 8\n"
            "                              neighbours changed too (default: "
         << defaults.neighborThreshold
         << ")\n"
            "\n"
            "Memory:\n"
            "      --memory-limit MB       keep about MB mebibytes of captures in memory and spill the\n"
            "                              rest to disk (default: everything in memory; "
         << DEFAULT_MEMORY_LIMIT_MB
         << " with\n"
            "                              --spill-dir alone)\n"
            "      --spill-dir DIR         folder for the spill files (default: a fresh temporary\n"
            "                              folder, removed at exit)\n"
            "\n"
            "  -q, --quiet                 no progress and no summary; warnings and errors still shown\n"
            "  -h, --help                  show this text\n"
            "  -V, --version               show the tool's and the library's version\n"
            "\n"
            "Ctrl-C stops the run cleanly (twice: at once). Nothing is written unless the whole run\n"
            "succeeds; files appear complete or not at all.\n"
            "\n"
            "Exit codes: 0 done, 1 stitching failed, 2 usage error, 3 input error, 4 output error,\n"
            "130 cancelled.\n";
    return text.str();
}

std::string VersionText()
{
    return std::string("zolt-stitch ") + ZOLT_STITCHING_VERSION_STRING + " (ZOLT.Stitching " +
           ZOLT_STITCHING_VERSION_STRING + ", OpenCV " + CV_VERSION + ")\n";
}

}  // namespace StitchTool
}  // namespace ZOLT
