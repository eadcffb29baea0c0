#pragma once

// How zolt-capture scrolls a window and when it stops; kept apart from the X11 headers, whose
// macros clash with the option parser's names.

#include <chrono>
#include <cstddef>

namespace ZOLT {
namespace CaptureTool {

struct ScrollSettings {
    /// Wheel clicks per step.
    int clicks = 3;
    bool horizontal = false;
    std::size_t maxCaptures = 300;
    /// Two grabs this far apart must be identical before one counts as a capture.
    std::chrono::milliseconds settle{80};
};

enum class CaptureEnd {
    /// The content did not move for two steps in a row.
    PageEnd,
    /// The maximum number of captures was reached.
    MaxCaptures,
    /// The host asked to stop.
    Stopped,
};

}  // namespace CaptureTool
}  // namespace ZOLT
