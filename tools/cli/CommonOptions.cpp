#include "CommonOptions.h"

#include "ExitCodes.h"

#include <ZOLT/Version.h>

#include <CLI/CLI.hpp>
#include <opencv2/core/version.hpp>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <thread>

namespace ZOLT {
namespace Cli {

namespace {

constexpr std::uint64_t MAX_THREADS = 1024;

struct NamedKind {
    const char* name;
    StitcherKind kind;
};

constexpr NamedKind STITCHER_KINDS[] = {
    {"basic", StitcherKind::Basic},
    {"smart", StitcherKind::Smart},
    {"borders", StitcherKind::Borders},
    {"page", StitcherKind::Page},
};

std::string ThreadsHelp(int defaultThreads)
{
    return "pairs of captures measured at once (default: number of cores, " + std::to_string(defaultThreads) + " here)";
}

void CheckImageFileName(const char* what, const std::string& path)
{
    if (!path.empty() && !cv::haveImageWriter(path)) {
        throw ToolError(ExitCode::Usage, std::string(what) + " '" + path +
                                             "' has no image file extension that can be written; use .png (or "
                                             ".webp) to keep transparency");
    }
}

}  // namespace

const char* StitcherName(StitcherKind kind)
{
    for (const NamedKind& entry : STITCHER_KINDS) {
        if (entry.kind == kind) {
            return entry.name;
        }
    }
    return "page";
}

CommonOptions::CommonOptions()
{
    const unsigned int cores = std::thread::hardware_concurrency();
    parameters.maxThreads = cores == 0 ? 1 : static_cast<std::int32_t>(std::min<unsigned int>(cores, MAX_THREADS));
}

CLI::Validator WholeNumber(std::uint64_t low, std::uint64_t high)
{
    return CLI::Validator(
        [low, high](std::string& text) -> std::string {
            std::uint64_t value = 0;
            const char* const end = text.data() + text.size();
            const auto [stop, error] = std::from_chars(text.data(), end, value);
            if (text.empty() || error != std::errc() || stop != end || value < low || value > high) {
                return "expects a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
                       ", not '" + text + "'";
            }
            text = std::to_string(value);
            return {};
        },
        "");
}

CLI::Validator OneOf(const std::vector<std::string>& names)
{
    std::string choices = names.front();
    for (std::size_t i = 1; i < names.size(); ++i) {
        choices += (i + 1 == names.size() ? " or " : ", ") + names[i];
    }
    return CLI::Validator(
        [names, choices](std::string& name) -> std::string {
            const bool known = std::find(names.begin(), names.end(), name) != names.end();
            return known ? std::string() : "expects " + choices + ", not '" + name + "'";
        },
        "");
}

CLI::Validator NonNegativeReal()
{
    return CLI::Validator(
        [](std::string& text) -> std::string {
            double value = 0.0;
            const char* const end = text.data() + text.size();
            const auto [stop, error] = std::from_chars(text.data(), end, value);
            if (text.empty() || error != std::errc() || stop != end || !std::isfinite(value) || value < 0.0) {
                return "expects a number of 0 or more, not '" + text + "'";
            }
            return {};
        },
        "");
}

void AddOutputFileOptions(CLI::App& app, CommonOptions& options)
{
    app.add_option("--preview", options.previewFile, "also write the small preview built capture by capture")
        ->type_name("FILE")
        ->group("Output");
    app.add_option("--translations", options.translationsFile, "also write the measured translations as JSON")
        ->type_name("FILE")
        ->group("Output");
}

void AddStitcherOption(CLI::App& app, CommonOptions& options)
{
    const auto choose = [&options](const std::string& name) {
        for (const NamedKind& entry : STITCHER_KINDS) {
            if (name == entry.name) {
                options.stitcher = entry.kind;
            }
        }
    };
    app.add_option_function<std::string>("--stitcher", choose,
                                         "page: the result looks like the page, with what does not scroll "
                                         "(toolbars, fixed and sticky elements) once and nothing transparent; "
                                         "basic: joins the whole captures; smart: joins only the region that "
                                         "changes, framed by the rest; borders: crops the borders all captures "
                                         "share, joins the content and puts the borders back")
        ->type_name("KIND")
        ->check(OneOf({"page", "basic", "smart", "borders"}))
        ->default_str(StitcherName(options.stitcher))
        ->group("Stitching");
}

void AddThreadsOption(CLI::App& app, CommonOptions& options)
{
    app.add_option("-j,--threads", options.parameters.maxThreads, ThreadsHelp(options.parameters.maxThreads))
        ->type_name("N")
        ->transform(WholeNumber(1, MAX_THREADS))
        ->group("Stitching");
}

void AddMemoryOptions(CLI::App& app, CommonOptions& options)
{
    app.add_option_function<std::size_t>(
           "--memory-limit",
           [&options](std::size_t megabytes) {
               options.boundedMemory = true;
               options.memoryLimitBytes = megabytes * MEBIBYTE;
           },
           "keep about MB mebibytes of captures in memory and spill the rest to disk (default: everything in "
           "memory; " +
               std::to_string(DEFAULT_MEMORY_LIMIT_MB) + " with --spill-dir alone)")
        ->type_name("MB")
        ->transform(WholeNumber(0, std::numeric_limits<std::size_t>::max() / MEBIBYTE))
        ->group("Memory");
    app.add_option_function<std::string>(
           "--spill-dir",
           [&options](const std::string& folder) {
               options.boundedMemory = true;
               options.spillFolder = folder;
           },
           "folder for the spill files (default: a fresh temporary folder, removed at exit)")
        ->type_name("DIR")
        ->group("Memory");
}

void AddQuietOption(CLI::App& app, CommonOptions& options)
{
    app.add_flag("-q,--quiet", options.quiet, "no progress and no summary; warnings and errors still shown")
        ->disable_flag_override();
}

void AddVersionFlag(CLI::App& app)
{
    app.set_version_flag("-V,--version", std::string(), "show the tool's and the library's version");
}

void CheckOutputNames(const std::string& output, const CommonOptions& options)
{
    CheckImageFileName("output", output);
    CheckImageFileName("preview", options.previewFile);
    if (output == options.previewFile || output == options.translationsFile ||
        (!options.previewFile.empty() && options.previewFile == options.translationsFile)) {
        throw ToolError(ExitCode::Usage, "the output, the preview and the translations need different file names");
    }
}

std::string VersionText(const std::string& program)
{
    return program + " " + ZOLT_STITCHING_VERSION_STRING + " (ZOLT.Stitching " + ZOLT_STITCHING_VERSION_STRING +
           ", OpenCV " + CV_VERSION + ")\n";
}

Action ParseArguments(CLI::App& app, const std::vector<std::string>& arguments)
{
    // CLI11 takes the arguments last to first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        return Action::ShowHelp;
    } catch (const CLI::CallForVersion&) {
        return Action::ShowVersion;
    } catch (const CLI::ParseError& error) {
        throw ToolError(ExitCode::Usage, error.what());
    }
    return Action::Run;
}

}  // namespace Cli
}  // namespace ZOLT
