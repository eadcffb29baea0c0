#pragma once

// The exit codes the command-line tools share and the error type that carries one to main().

#include <stdexcept>
#include <string>

namespace ZOLT {
namespace Cli {

enum class ExitCode : int {
    Ok = 0,
    /// The library could not stitch the captures (or ran out of memory doing so).
    StitchFailed = 1,
    /// The command line is wrong: unknown option, missing or bad value, no input, no output.
    Usage = 2,
    /// An input cannot be used: missing path, no images, not an image, different sizes.
    InputError = 3,
    /// A file or folder the tool writes to cannot be written.
    OutputError = 4,
    /// The screen cannot be captured: no X display can be opened, or it lacks the XTest extension.
    DisplayError = 5,
    /// The user cancelled choosing what to capture (Escape); nothing was written.
    SelectionCancelled = 6,
    /// Ctrl-C (SIGINT) or SIGTERM stopped the run; nothing was written.
    Cancelled = 130,
};

/// A failure that ends the run with its exit code; the message is shown as it is.
class ToolError : public std::runtime_error {
public:
    ToolError(ExitCode code, const std::string& message) : std::runtime_error(message), code_(code) {}

    ExitCode Code() const { return code_; }

private:
    ExitCode code_;
};

}  // namespace Cli
}  // namespace ZOLT
