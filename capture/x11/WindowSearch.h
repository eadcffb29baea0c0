#pragma once

// Finding the window to capture: by id, by title, or the one under the pointer.

#include "X11Connection.h"

#include <opencv2/core.hpp>

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

/// The application window at `point` of the screen, top-most (inside the window manager's
/// frame, if any); None over the bare screen.
::Window WindowAt(const X11Connection& connection, const cv::Point& point);

/// Where `window` lies on the screen; empty when it is gone.
cv::Rect ScreenRect(const X11Connection& connection, ::Window window);

/// The window's title (_NET_WM_NAME, else WM_NAME); empty when it has none.
std::string WindowTitle(const X11Connection& connection, ::Window window);

}  // namespace X11
}  // namespace Capture
}  // namespace ZOLT
