#pragma once

// A whole zolt-capture run once the command line is understood: the target, the capture in the
// mode asked for, the stitch and the files.

#include "Console.h"
#include "Options.h"

#include <ZOLT/Capture/Backend.h>
#include <ZOLT/Capture/Clock.h>

namespace ZOLT {
namespace CaptureTool {

/// Finds (or lets the user pick) the target on `backend`, captures it, stitches and writes the
/// files, and reports on `console`. Throws Cli::ToolError, and Capture::CaptureError for what
/// the backend reports.
void RunCapture(const Options& options, Capture::ICaptureBackend& backend, Capture::Clock& clock,
                Cli::Console& console);

}  // namespace CaptureTool
}  // namespace ZOLT
