#pragma once

// --select on Wayland: a layer-shell overlay over every output that dims the screen, outlines
// the window under the pointer and the rectangle being dragged, and ends on release or Escape.

#include "WaylandDisplay.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <functional>
#include <optional>

namespace ZOLT {
namespace Capture {
namespace Wayland {

/// What the user chose: a click (`rect` is the point, 1 x 1) or a dragged rectangle, on the
/// output with the global name `outputName`, in its logical coordinates.
struct Selection {
    std::uint32_t outputName = 0;
    cv::Rect rect;
    bool click = false;
};

/// The window area under a point of an output, in the output's coordinates; nothing there.
using WindowAreaAt = std::function<std::optional<cv::Rect>(const Output& output, const cv::Point& point)>;

/// Shows the overlay until the user clicks, drags a rectangle, or cancels with Escape or the
/// right button (nothing). Throws CaptureError: missing protocol without a layer shell or seat,
/// no target when nobody chose within ten minutes, no display when the connection fails.
std::optional<Selection> SelectOnOverlay(const WaylandDisplay& display, const WindowAreaAt& windowAt);

}  // namespace Wayland
}  // namespace Capture
}  // namespace ZOLT
