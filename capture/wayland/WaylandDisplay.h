#pragma once

// One connection to a Wayland compositor and the globals capture binds, each version clamped to
// what this code speaks. Missing globals are named together after the first roundtrip.

#include "Proxy.h"

#include <ZOLT/Capture/CaptureError.h>

#include <opencv2/core.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct wl_display;

namespace ZOLT {
namespace Capture {
namespace Wayland {

/// A monitor of the compositor, where it stands in the layout and its current mode.
struct Output {
    OutputProxy proxy;
    /// Tells the output's logical place and name; null without xdg-output.
    XdgOutputProxy details;
    /// The registry's name for the global: it identifies the output while it exists.
    std::uint32_t globalName = 0;
    /// The connector name ("HEADLESS-1", "DP-2") from wl_output version 4; else empty.
    std::string name;
    /// The current mode, in buffer pixels.
    cv::Size size;
    int scale = 1;
    /// The output's place in the layout, in logical coordinates (from xdg-output; else the
    /// mode's size divided by the scale, at the origin).
    cv::Rect logical;

    /// The output's area in logical layout coordinates.
    cv::Rect Area() const
    {
        return logical.empty() ? cv::Rect(0, 0, size.width / scale, size.height / scale) : logical;
    }
};

class WaylandDisplay {
public:
    /// Connects to `socketName`, or $WAYLAND_DISPLAY when it is empty, and binds the globals.
    /// Throws CaptureError: no display when there is no compositor, missing protocol when it lacks
    /// shm, outputs or screencopy (the message names each one missing).
    explicit WaylandDisplay(const std::string& socketName = std::string());
    WaylandDisplay(const WaylandDisplay&) = delete;
    WaylandDisplay& operator=(const WaylandDisplay&) = delete;

    wl_display* Get() const { return display_.get(); }
    wl_shm* Shm() const { return shm_.get(); }
    wl_compositor* Compositor() const { return compositor_.get(); }
    wl_seat* Seat() const { return seat_.get(); }
    /// The seat's devices now, a mask of wl_seat capabilities (pointer, keyboard).
    std::uint32_t SeatCapabilities() const { return seatCapabilities_; }
    zwlr_screencopy_manager_v1* Screencopy() const { return screencopy_.get(); }
    /// Null when the compositor cannot take virtual pointer input.
    zwlr_virtual_pointer_manager_v1* PointerManager() const { return pointerManager_.get(); }
    /// Null when the compositor has no layer shell (no overlay for picking).
    zwlr_layer_shell_v1* LayerShell() const { return layerShell_.get(); }
    const std::vector<std::unique_ptr<Output>>& Outputs() const { return outputs_; }
    /// The output with that global name; null when it was unplugged.
    const Output* FindOutput(std::uint32_t globalName) const;

    /// Dispatches events until `done()` holds. Throws CaptureError: no display when the
    /// connection fails, `timeoutKind` with "`what` timed out" after `timeout`.
    void DispatchUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout, const std::string& what,
                       CaptureError::Kind timeoutKind) const;
    /// Waits until the compositor has handled every request sent so far. Throws CaptureError.
    void Roundtrip() const;
    /// Sends buffered requests without waiting. Throws CaptureError (no display).
    void Flush() const;

    /// The listeners' view of the object; not for callers.
    struct Listeners;

private:
    /// Throws CaptureError (no display) with the connection's own error.
    [[noreturn]] void ThrowConnectionError() const;
    void BindGlobal(std::uint32_t name, const char* interface, std::uint32_t version);
    /// Asks for the output's logical place and name, where the compositor tells them.
    void RequestDetails(Output& output) const;
    void RemoveGlobal(std::uint32_t name);
    void CheckGlobals() const;

    // Declared first, so that it is disconnected after every proxy is destroyed.
    struct Disconnect {
        void operator()(wl_display* display) const;
    };
    std::unique_ptr<wl_display, Disconnect> display_;
    RegistryProxy registry_;
    CompositorProxy compositor_;
    ShmProxy shm_;
    SeatProxy seat_;
    ScreencopyManagerProxy screencopy_;
    PointerManagerProxy pointerManager_;
    LayerShellProxy layerShell_;
    OutputManagerProxy outputManager_;
    std::vector<std::unique_ptr<Output>> outputs_;
    std::uint32_t seatCapabilities_ = 0;
};

}  // namespace Wayland
}  // namespace Capture
}  // namespace ZOLT
