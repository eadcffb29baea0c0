#pragma once

// The X11 backend, reached only through the registry.

#include <ZOLT/Capture/Backend.h>

#include <memory>

namespace ZOLT {
namespace Capture {
namespace X11 {

/// Connects to $DISPLAY. Throws CaptureError (no display, no XTest extension).
std::unique_ptr<ICaptureBackend> OpenBackend();

}  // namespace X11
}  // namespace Capture
}  // namespace ZOLT
