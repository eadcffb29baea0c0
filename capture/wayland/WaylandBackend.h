#pragma once

// The Wayland backend, reached only through the registry: screencopy grabs, virtual-pointer
// scrolling, windows found through sway's IPC where $SWAYSOCK names it, outputs otherwise.

#include <ZOLT/Capture/Backend.h>

#include <memory>

namespace ZOLT {
namespace Capture {
namespace Wayland {

/// Connects to the compositor at $WAYLAND_DISPLAY. Throws CaptureError: no display when none
/// answers, missing protocol when it lacks screencopy (the message names what is missing).
std::unique_ptr<ICaptureBackend> OpenBackend();

}  // namespace Wayland
}  // namespace Capture
}  // namespace ZOLT
