#pragma once

// Finding the window to capture: by id, by title, or the one under the pointer.

#include "X11Connection.h"

#include <string>

namespace ZOLT {
namespace Capture {
namespace X11 {

/// `window` itself when it exists and is shown. Throws CaptureError (no window).
::Window CheckWindow(const X11Connection& connection, ::Window window);

/// The first shown window, top-most first, whose title contains `text`. Throws CaptureError
/// (no window).
::Window FindWindowByTitle(const X11Connection& connection, const std::string& text);

/// The application window under the pointer (inside the window manager's frame, if any).
/// Throws CaptureError (no window).
::Window WindowUnderPointer(const X11Connection& connection);

/// The window's title (_NET_WM_NAME, else WM_NAME); empty when it has none.
std::string WindowTitle(const X11Connection& connection, ::Window window);

}  // namespace X11
}  // namespace Capture
}  // namespace ZOLT
