#pragma once

// Pointer input through wlr-virtual-pointer: moving to a point of an output and turning the
// wheel, as a mouse on the compositor's seat would.

#include "WaylandDisplay.h"

#include <ZOLT/Capture/Backend.h>

namespace ZOLT {
namespace Capture {
namespace Wayland {

class VirtualPointer {
public:
    /// A pointer whose absolute motion maps onto `output`; the display must have a virtual
    /// pointer manager.
    VirtualPointer(const WaylandDisplay& display, const Output& output);

    /// The output the pointer's motion maps onto.
    std::uint32_t OutputName() const { return outputName_; }
    /// Moves the pointer to `point`, in the output's logical coordinates.
    void MoveTo(const cv::Point& point) const;
    /// Turns the wheel `clicks` standard clicks along `axis`, towards the content's start or end,
    /// and waits until the compositor has the events. How far content moves per click is the
    /// application's choice: callers measure it. Throws CaptureError (no display).
    void Wheel(Axis axis, bool towardStart, int clicks) const;
    /// Presses (or releases) `button`, an evdev code such as BTN_LEFT, and waits until the
    /// compositor has the event. Throws CaptureError (no display).
    void Button(unsigned button, bool pressed) const;

private:
    const WaylandDisplay& display_;
    const std::uint32_t outputName_;
    /// Where absolute motion lands: the output (version 2) or the whole layout (version 1).
    cv::Rect motionArea_;
    cv::Point outputOrigin_;
    VirtualPointerProxy pointer_;
};

}  // namespace Wayland
}  // namespace Capture
}  // namespace ZOLT
