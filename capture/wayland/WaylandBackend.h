#pragma once

// The Wayland backend, reached only through its factory: screencopy grabs, virtual-pointer
// scrolling, windows found through sway's IPC where $SWAYSOCK names it, outputs otherwise.

#include <ZOLT/Capture/Backend.h>

#include <memory>

namespace ZOLT {
namespace Capture {

/// The backend on the compositor at $WAYLAND_DISPLAY. Throws CaptureError: no display when no
/// compositor answers, missing protocol when it lacks screencopy (the message names it).
std::unique_ptr<ICaptureBackend> OpenWaylandBackend();

}  // namespace Capture
}  // namespace ZOLT
