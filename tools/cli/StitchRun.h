#pragma once

// The stitch itself: the stitcher the options ask for, run over the loaded captures.

#include "CommonOptions.h"
#include "ConsoleListener.h"

#include <ZOLT/Core.h>
#include <ZOLT/Preview.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ZOLT {
namespace Cli {

struct StitchOutcome {
    /// The stitched image, red, green, blue, alpha.
    cv::Mat result;
    std::vector<Stitching::Translation> translations;
};

/// The configuration the options name, built by the library's factory.
std::shared_ptr<Stitching::IStitcher> MakeStitcher(const CommonOptions& options);

/// Runs `stitch`, which joins captures into its argument and returns whether it could, as a
/// stitcher's Stitch: the library's exceptions and failures become ToolErrors (stitch failed,
/// with the reason the listener heard), a stop request cancels. Returns the result.
cv::Mat RunStitch(ConsoleListener& listener, const std::function<bool(cv::Mat& result)>& stitch);

/// Stitches the captures of `provider`; a single capture is the result as it is. Throws
/// ToolError: cancelled when a stop was requested during the stitch, stitch failed when the
/// library could not join the captures (with the reason it reported).
StitchOutcome StitchCaptures(const CommonOptions& options, IImageProvider& provider, ConsoleListener& listener);

/// The end of a run: stitches the `captures` of `provider`, explains the library's warnings and
/// writes the image, `preview` when given and the translations. Throws ToolError as
/// StitchCaptures and WriteOutputFiles do.
StitchOutcome StitchAndWrite(const CommonOptions& options, const std::string& output, IImageProvider& provider,
                             std::size_t captures, Stitching::PreviewImage* preview, Console& console);

/// The same with a stitch of the host's own: `stitch` gets the listener and returns the outcome.
StitchOutcome StitchAndWrite(const CommonOptions& options, const std::string& output, std::size_t captures,
                             Stitching::PreviewImage* preview, Console& console,
                             const std::function<StitchOutcome(ConsoleListener& listener)>& stitch);

}  // namespace Cli
}  // namespace ZOLT
