#pragma once

// --select on X11: the user clicks a window or drags a rectangle, with an outline following the
// drag, and Escape cancels.

#include "X11Connection.h"

#include <ZOLT/Capture/Backend.h>

#include <optional>

namespace ZOLT {
namespace Capture {
namespace X11 {

/// Grabs the pointer and the keyboard until the user clicks (the window under the pointer),
/// drags (the window under the rectangle's centre, the rectangle clipped to it as the region;
/// the whole screen where no window is) or presses Escape (nothing). A signal interrupting the
/// wait gives nothing too. Throws CaptureError (no target) when another program holds the
/// pointer or the keyboard.
std::optional<Target> PickTarget(const X11Connection& connection);

}  // namespace X11
}  // namespace Capture
}  // namespace ZOLT
