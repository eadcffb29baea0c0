#pragma once

// The stitch itself: the stitcher the options ask for, run over the loaded captures.

#include "CommonOptions.h"
#include "ConsoleListener.h"

#include <ZOLT/Core.h>
#include <ZOLT/Preview.h>

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

/// Stitches the captures of `provider`; a single capture is the result as it is. Throws
/// ToolError: cancelled when a stop was requested during the stitch, stitch failed when the
/// library could not join the captures (with the reason it reported).
StitchOutcome StitchCaptures(const CommonOptions& options, IImageProvider& provider, ConsoleListener& listener);

/// The end of a run: stitches the `captures` of `provider`, explains the library's warnings and
/// writes the image, `preview` when given and the translations. Throws ToolError as
/// StitchCaptures and WriteOutputFiles do.
StitchOutcome StitchAndWrite(const CommonOptions& options, const std::string& output, IImageProvider& provider,
                             std::size_t captures, Stitching::PreviewImage* preview, Console& console);

}  // namespace Cli
}  // namespace ZOLT
