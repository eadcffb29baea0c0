#include "VirtualPointer.h"

#include "Protocols.h"

#include <chrono>

namespace ZOLT {
namespace Capture {
namespace Wayland {

namespace {

/// A standard mouse wheel click, in the axis units of wl_pointer (degrees of the wheel).
constexpr int WHEEL_CLICK_UNITS = 15;

std::uint32_t Milliseconds()
{
    using namespace std::chrono;
    return static_cast<std::uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

cv::Rect LayoutArea(const WaylandDisplay& display)
{
    cv::Rect area;
    for (const std::unique_ptr<Output>& output : display.Outputs()) {
        area = area.empty() ? output->Area() : (area | output->Area());
    }
    return area;
}

}  // namespace

VirtualPointer::VirtualPointer(const WaylandDisplay& display, const Output& output)
    : display_(display), outputName_(output.globalName)
{
    zwlr_virtual_pointer_manager_v1* manager = display.PointerManager();
    if (zwlr_virtual_pointer_manager_v1_get_version(manager) >= 2) {
        pointer_.reset(zwlr_virtual_pointer_manager_v1_create_virtual_pointer_with_output(manager, display.Seat(),
                                                                                          output.proxy.get()));
        motionArea_ = output.Area();
    } else {
        pointer_.reset(zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, display.Seat()));
        motionArea_ = LayoutArea(display);
    }
    outputOrigin_ = output.Area().tl();
}

void VirtualPointer::MoveTo(const cv::Point& point) const
{
    const cv::Point inArea = outputOrigin_ + point - motionArea_.tl();
    zwlr_virtual_pointer_v1_motion_absolute(
        pointer_.get(), Milliseconds(), static_cast<std::uint32_t>(inArea.x), static_cast<std::uint32_t>(inArea.y),
        static_cast<std::uint32_t>(motionArea_.width), static_cast<std::uint32_t>(motionArea_.height));
    zwlr_virtual_pointer_v1_frame(pointer_.get());
}

void VirtualPointer::Wheel(Axis axis, bool towardStart, int clicks) const
{
    const std::uint32_t wheelAxis =
        axis == Axis::Rows ? WL_POINTER_AXIS_VERTICAL_SCROLL : WL_POINTER_AXIS_HORIZONTAL_SCROLL;
    const int direction = towardStart ? -1 : 1;
    for (int click = 0; click < clicks; ++click) {
        const std::uint32_t time = Milliseconds();
        zwlr_virtual_pointer_v1_axis_source(pointer_.get(), WL_POINTER_AXIS_SOURCE_WHEEL);
        zwlr_virtual_pointer_v1_axis_discrete(pointer_.get(), time, wheelAxis,
                                              wl_fixed_from_int(direction * WHEEL_CLICK_UNITS), direction);
        zwlr_virtual_pointer_v1_frame(pointer_.get());
    }
    // Wait until the compositor has the events, so the settle time starts after them.
    display_.Roundtrip();
}

void VirtualPointer::Button(unsigned button, bool pressed) const
{
    zwlr_virtual_pointer_v1_button(pointer_.get(), Milliseconds(), button,
                                   pressed ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
    zwlr_virtual_pointer_v1_frame(pointer_.get());
    display_.Roundtrip();
}

}  // namespace Wayland
}  // namespace Capture
}  // namespace ZOLT
