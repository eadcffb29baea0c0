#include "SelectOverlay.h"

#include "Protocols.h"

#include "ShmBuffer.h"

#include <linux/input-event-codes.h>
#include <unistd.h>

#include <opencv2/imgproc.hpp>

#include <array>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <memory>
#include <vector>

namespace ZOLT {
namespace Capture {
namespace Wayland {

namespace {

constexpr std::chrono::minutes SELECT_TIMEOUT(10);
/// A press and release closer than this is a click, not a rectangle.
constexpr int CLICK_DISTANCE = 4;
constexpr int OUTLINE_WIDTH = 2;
// Premultiplied blue, green, red, alpha, as ARGB8888 lies in memory.
const cv::Scalar DIM(0, 0, 0, 96);
const cv::Scalar CLEAR(0, 0, 0, 0);
const cv::Scalar OUTLINE(255, 140, 45, 255);
const cv::Scalar WINDOW_TINT(64, 35, 11, 64);

/// One output's overlay: its surface and the two buffers it draws into in turn.
struct Overlay {
    const Output* output = nullptr;
    SurfaceProxy surface;
    LayerSurfaceProxy layer;
    cv::Size size;
    bool configured = false;
    bool closed = false;
    std::array<std::unique_ptr<ShmBuffer>, 2> buffers;
    std::array<bool, 2> busy = {false, false};
};

/// The whole selection: the overlays, where the pointer is and what the user did so far.
struct SelectState {
    const WaylandDisplay* display = nullptr;
    const WindowAreaAt* windowAt = nullptr;
    std::vector<std::unique_ptr<Overlay>> overlays;
    PointerProxy pointer;
    KeyboardProxy keyboard;
    Overlay* under = nullptr;
    cv::Point position;
    std::optional<cv::Point> pressedAt;
    std::optional<cv::Rect> hoveredWindow;
    bool cancelled = false;
    std::optional<Selection> chosen;
    /// What went wrong in a callback; rethrown once dispatching returns.
    std::exception_ptr failure;
    bool Done() const { return cancelled || chosen.has_value() || failure; }
};

/// The rectangle a drag from `from` to `to` spans, in either direction.
cv::Rect Spanned(const cv::Point& from, const cv::Point& to)
{
    return cv::Rect(from, to);
}

void Draw(SelectState& state, Overlay& overlay);

void buffer_handle_release(void* data, wl_buffer*)
{
    *static_cast<bool*>(data) = false;
}

const wl_buffer_listener BUFFER_LISTENER = {buffer_handle_release};

void layer_surface_handle_configure(void* data, zwlr_layer_surface_v1* layer, std::uint32_t serial, std::uint32_t width,
                                    std::uint32_t height)
{
    auto* overlay = static_cast<Overlay*>(data);
    zwlr_layer_surface_v1_ack_configure(layer, serial);
    const cv::Size size(static_cast<int>(width), static_cast<int>(height));
    if (size != overlay->size) {
        overlay->buffers = {};
        overlay->busy = {false, false};
    }
    overlay->size = size;
    overlay->configured = true;
}

void layer_surface_handle_closed(void* data, zwlr_layer_surface_v1*)
{
    static_cast<Overlay*>(data)->closed = true;
}

const zwlr_layer_surface_v1_listener LAYER_SURFACE_LISTENER = {layer_surface_handle_configure,
                                                               layer_surface_handle_closed};

/// Draws every overlay anew. Called from the compositor's events: a failure is recorded, never
/// thrown through the C library.
void Redraw(SelectState& state) noexcept
{
    try {
        if (state.under != nullptr) {
            state.hoveredWindow = (*state.windowAt)(*state.under->output, state.position);
        }
        for (const std::unique_ptr<Overlay>& overlay : state.overlays) {
            Draw(state, *overlay);
        }
    } catch (...) {
        state.failure = std::current_exception();
    }
}

void pointer_handle_enter(void* data, wl_pointer*, std::uint32_t, wl_surface* surface, wl_fixed_t x, wl_fixed_t y)
{
    auto& state = *static_cast<SelectState*>(data);
    state.under = nullptr;
    for (const std::unique_ptr<Overlay>& overlay : state.overlays) {
        if (overlay->surface.get() == surface) {
            state.under = overlay.get();
        }
    }
    state.position = cv::Point(wl_fixed_to_int(x), wl_fixed_to_int(y));
    Redraw(state);
}

void pointer_handle_leave(void* data, wl_pointer*, std::uint32_t, wl_surface*)
{
    auto& state = *static_cast<SelectState*>(data);
    state.under = nullptr;
    state.hoveredWindow.reset();
    Redraw(state);
}

void pointer_handle_motion(void* data, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y)
{
    auto& state = *static_cast<SelectState*>(data);
    state.position = cv::Point(wl_fixed_to_int(x), wl_fixed_to_int(y));
    Redraw(state);
}

void pointer_handle_button(void* data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t button,
                           std::uint32_t buttonState)
{
    auto& state = *static_cast<SelectState*>(data);
    const bool pressed = buttonState == WL_POINTER_BUTTON_STATE_PRESSED;
    if (button == BTN_RIGHT && pressed) {
        state.cancelled = true;
    } else if (button == BTN_LEFT && pressed && state.under != nullptr) {
        state.pressedAt = state.position;
    } else if (button == BTN_LEFT && !pressed && state.pressedAt && state.under != nullptr) {
        const cv::Point moved = state.position - *state.pressedAt;
        Selection selection;
        selection.outputName = state.under->output->globalName;
        selection.click = std::abs(moved.x) < CLICK_DISTANCE && std::abs(moved.y) < CLICK_DISTANCE;
        selection.rect = selection.click
                             ? cv::Rect(state.position, cv::Size(1, 1))
                             : Spanned(*state.pressedAt, state.position) & cv::Rect(cv::Point(), state.under->size);
        state.chosen = selection;
    }
}

void pointer_handle_axis(void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t)
{
}
void pointer_handle_frame(void*, wl_pointer*)
{
}
void pointer_handle_axis_source(void*, wl_pointer*, std::uint32_t)
{
}
void pointer_handle_axis_stop(void*, wl_pointer*, std::uint32_t, std::uint32_t)
{
}
void pointer_handle_axis_discrete(void*, wl_pointer*, std::uint32_t, std::int32_t)
{
}
void pointer_handle_axis_value120(void*, wl_pointer*, std::uint32_t, std::int32_t)
{
}

const wl_pointer_listener POINTER_LISTENER = {
    pointer_handle_enter,         pointer_handle_leave,         pointer_handle_motion,      pointer_handle_button,
    pointer_handle_axis,          pointer_handle_frame,         pointer_handle_axis_source, pointer_handle_axis_stop,
    pointer_handle_axis_discrete, pointer_handle_axis_value120,
};

void keyboard_handle_keymap(void*, wl_keyboard*, std::uint32_t, std::int32_t descriptor, std::uint32_t)
{
    // Only Escape matters, and its evdev code needs no keymap.
    close(descriptor);
}

void keyboard_handle_enter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*)
{
}
void keyboard_handle_leave(void*, wl_keyboard*, std::uint32_t, wl_surface*)
{
}

void keyboard_handle_key(void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t key,
                         std::uint32_t keyState)
{
    if (key == KEY_ESC && keyState == WL_KEYBOARD_KEY_STATE_PRESSED) {
        static_cast<SelectState*>(data)->cancelled = true;
    }
}

void keyboard_handle_modifiers(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                               std::uint32_t)
{
}

void keyboard_handle_repeat_info(void*, wl_keyboard*, std::int32_t, std::int32_t)
{
}

const wl_keyboard_listener KEYBOARD_LISTENER = {
    keyboard_handle_keymap, keyboard_handle_enter,     keyboard_handle_leave,
    keyboard_handle_key,    keyboard_handle_modifiers, keyboard_handle_repeat_info,
};

/// Takes the seat's pointer and keyboard once it has them: a seat gains one when the first
/// device of the kind appears.
void TakeInput(const WaylandDisplay& display, SelectState& state)
{
    const std::uint32_t capabilities = display.SeatCapabilities();
    if ((capabilities & WL_SEAT_CAPABILITY_POINTER) != 0 && !state.pointer) {
        state.pointer.reset(wl_seat_get_pointer(display.Seat()));
        wl_pointer_add_listener(state.pointer.get(), &POINTER_LISTENER, &state);
    }
    if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0 && !state.keyboard) {
        state.keyboard.reset(wl_seat_get_keyboard(display.Seat()));
        wl_keyboard_add_listener(state.keyboard.get(), &KEYBOARD_LISTENER, &state);
    }
}

/// A free buffer of the overlay's size, made when needed; null while the compositor holds both.
ShmBuffer* FreeBuffer(const WaylandDisplay& display, Overlay& overlay, int& slot)
{
    for (slot = 0; slot < 2; ++slot) {
        if (!overlay.busy[slot]) {
            break;
        }
    }
    if (slot == 2) {
        return nullptr;
    }
    if (!overlay.buffers[slot]) {
        overlay.buffers[slot] =
            std::make_unique<ShmBuffer>(display.Shm(), overlay.size, overlay.size.width * 4, WL_SHM_FORMAT_ARGB8888);
        wl_buffer_add_listener(overlay.buffers[slot]->Get(), &BUFFER_LISTENER, &overlay.busy[slot]);
    }
    return overlay.buffers[slot].get();
}

void Draw(SelectState& state, Overlay& overlay)
{
    int slot = 0;
    ShmBuffer* buffer = overlay.configured ? FreeBuffer(*state.display, overlay, slot) : nullptr;
    if (buffer == nullptr) {
        return;
    }
    cv::Mat pixels = buffer->Pixels();
    pixels.setTo(DIM);
    if (state.under == &overlay) {
        if (state.pressedAt) {
            const cv::Rect dragged = Spanned(*state.pressedAt, state.position);
            pixels(dragged & cv::Rect(cv::Point(), overlay.size)).setTo(CLEAR);
            cv::rectangle(pixels, dragged, OUTLINE, OUTLINE_WIDTH);
        } else if (state.hoveredWindow) {
            pixels(*state.hoveredWindow & cv::Rect(cv::Point(), overlay.size)).setTo(WINDOW_TINT);
            cv::rectangle(pixels, *state.hoveredWindow, OUTLINE, OUTLINE_WIDTH);
        }
    }
    overlay.busy[slot] = true;
    wl_surface_attach(overlay.surface.get(), buffer->Get(), 0, 0);
    wl_surface_damage(overlay.surface.get(), 0, 0, overlay.size.width, overlay.size.height);
    wl_surface_commit(overlay.surface.get());
}

std::unique_ptr<Overlay> MakeOverlay(const WaylandDisplay& display, const Output& output)
{
    auto overlay = std::make_unique<Overlay>();
    overlay->output = &output;
    overlay->surface.reset(wl_compositor_create_surface(display.Compositor()));
    overlay->layer.reset(zwlr_layer_shell_v1_get_layer_surface(display.LayerShell(), overlay->surface.get(),
                                                               output.proxy.get(), ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY,
                                                               "zolt-capture-select"));
    zwlr_layer_surface_v1_add_listener(overlay->layer.get(), &LAYER_SURFACE_LISTENER, overlay.get());
    zwlr_layer_surface_v1_set_anchor(overlay->layer.get(),
                                     ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                         ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    // Cover panels too, and take the keyboard so that Escape reaches us.
    zwlr_layer_surface_v1_set_exclusive_zone(overlay->layer.get(), -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(overlay->layer.get(), 1);
    wl_surface_commit(overlay->surface.get());
    return overlay;
}

}  // namespace

std::optional<Selection> SelectOnOverlay(const WaylandDisplay& display, const WindowAreaAt& windowAt)
{
    if (display.LayerShell() == nullptr || display.Compositor() == nullptr || display.Seat() == nullptr) {
        throw CaptureError(CaptureError::Kind::MissingProtocol,
                           "the Wayland compositor lacks zwlr_layer_shell_v1 or a seat, so --select cannot show "
                           "its overlay; give the area with --region");
    }
    SelectState state;
    state.display = &display;
    state.windowAt = &windowAt;
    for (const std::unique_ptr<Output>& output : display.Outputs()) {
        state.overlays.push_back(MakeOverlay(display, *output));
    }
    display.Roundtrip();
    Redraw(state);
    display.DispatchUntil(
        [&display, &state] {
            TakeInput(display, state);
            for (const std::unique_ptr<Overlay>& overlay : state.overlays) {
                state.cancelled = state.cancelled || overlay->closed;
                if (overlay->configured && !overlay->buffers[0]) {
                    Redraw(state);
                }
            }
            return state.Done();
        },
        SELECT_TIMEOUT, "selecting what to capture", CaptureError::Kind::NoTarget);
    // Take the overlay down before the first grab.
    state.pointer.reset();
    state.keyboard.reset();
    state.overlays.clear();
    display.Roundtrip();
    if (state.failure) {
        std::rethrow_exception(state.failure);
    }
    if (state.cancelled) {
        return std::nullopt;
    }
    return state.chosen;
}

}  // namespace Wayland
}  // namespace Capture
}  // namespace ZOLT
