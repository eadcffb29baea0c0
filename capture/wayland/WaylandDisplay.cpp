#include "WaylandDisplay.h"

#include "Protocols.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace ZOLT {
namespace Capture {
namespace Wayland {

namespace {

// The newest version of each global this code speaks; a compositor's newer ones are clamped.
constexpr std::uint32_t COMPOSITOR_VERSION = 4;
constexpr std::uint32_t SHM_VERSION = 1;
constexpr std::uint32_t SEAT_VERSION = 5;
constexpr std::uint32_t OUTPUT_VERSION = 4;
constexpr std::uint32_t SCREENCOPY_VERSION = 3;
constexpr std::uint32_t POINTER_MANAGER_VERSION = 2;
constexpr std::uint32_t LAYER_SHELL_VERSION = 3;
constexpr std::uint32_t OUTPUT_MANAGER_VERSION = 3;

constexpr std::chrono::seconds ROUNDTRIP_TIMEOUT(5);

template <typename T>
T* Bind(wl_registry* registry, std::uint32_t name, const wl_interface& interface, std::uint32_t offered,
        std::uint32_t spoken)
{
    return static_cast<T*>(wl_registry_bind(registry, name, &interface, std::min(offered, spoken)));
}

void output_handle_geometry(void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                            const char*, const char*, std::int32_t)
{
}

void output_handle_mode(void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height,
                        std::int32_t)
{
    if ((flags & WL_OUTPUT_MODE_CURRENT) != 0) {
        static_cast<Output*>(data)->size = cv::Size(width, height);
    }
}

void output_handle_done(void*, wl_output*)
{
}

void output_handle_scale(void* data, wl_output*, std::int32_t factor)
{
    static_cast<Output*>(data)->scale = std::max(1, factor);
}

void output_handle_name(void* data, wl_output*, const char* name)
{
    static_cast<Output*>(data)->name = name;
}

void output_handle_description(void*, wl_output*, const char*)
{
}

const wl_output_listener OUTPUT_LISTENER = {
    output_handle_geometry, output_handle_mode, output_handle_done,
    output_handle_scale,    output_handle_name, output_handle_description,
};

void xdg_output_handle_logical_position(void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y)
{
    auto* output = static_cast<Output*>(data);
    output->logical = cv::Rect(cv::Point(x, y), output->logical.size());
}

void xdg_output_handle_logical_size(void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height)
{
    auto* output = static_cast<Output*>(data);
    output->logical = cv::Rect(output->logical.tl(), cv::Size(width, height));
}

void xdg_output_handle_done(void*, zxdg_output_v1*)
{
}

void xdg_output_handle_name(void* data, zxdg_output_v1*, const char* name)
{
    static_cast<Output*>(data)->name = name;
}

void xdg_output_handle_description(void*, zxdg_output_v1*, const char*)
{
}

const zxdg_output_v1_listener XDG_OUTPUT_LISTENER = {
    xdg_output_handle_logical_position, xdg_output_handle_logical_size, xdg_output_handle_done, xdg_output_handle_name,
    xdg_output_handle_description,
};

void callback_handle_done(void* data, wl_callback*, std::uint32_t)
{
    *static_cast<bool*>(data) = true;
}

const wl_callback_listener CALLBACK_LISTENER = {callback_handle_done};

}  // namespace

struct WaylandDisplay::Listeners {
    static void HandleGlobal(void* data, wl_registry*, std::uint32_t name, const char* interface, std::uint32_t version)
    {
        static_cast<WaylandDisplay*>(data)->BindGlobal(name, interface, version);
    }
    static void HandleGlobalRemove(void* data, wl_registry*, std::uint32_t name)
    {
        static_cast<WaylandDisplay*>(data)->RemoveGlobal(name);
    }
    static void HandleSeatCapabilities(void* data, wl_seat*, std::uint32_t capabilities)
    {
        static_cast<WaylandDisplay*>(data)->seatCapabilities_ = capabilities;
    }
    static void HandleSeatName(void*, wl_seat*, const char*) {}
};

namespace {
const wl_registry_listener REGISTRY_LISTENER = {WaylandDisplay::Listeners::HandleGlobal,
                                                WaylandDisplay::Listeners::HandleGlobalRemove};
const wl_seat_listener SEAT_LISTENER = {WaylandDisplay::Listeners::HandleSeatCapabilities,
                                        WaylandDisplay::Listeners::HandleSeatName};
}  // namespace

WaylandDisplay::WaylandDisplay(const std::string& socketName)
    : display_(wl_display_connect(socketName.empty() ? nullptr : socketName.c_str()))
{
    if (!display_) {
        const char* name = socketName.empty() ? std::getenv("WAYLAND_DISPLAY") : socketName.c_str();
        throw CaptureError(
            CaptureError::Kind::NoDisplay,
            name == nullptr
                ? std::string("cannot reach a Wayland compositor: WAYLAND_DISPLAY is not set")
                : "cannot connect to the Wayland compositor at '" + std::string(name) + "': " + std::strerror(errno));
    }
    registry_.reset(wl_display_get_registry(display_.get()));
    wl_registry_add_listener(registry_.get(), &REGISTRY_LISTENER, this);
    // The first roundtrip announces the globals, the second delivers the outputs' details.
    Roundtrip();
    for (const std::unique_ptr<Output>& output : outputs_) {
        RequestDetails(*output);
    }
    Roundtrip();
    CheckGlobals();
}

void WaylandDisplay::Disconnect::operator()(wl_display* display) const
{
    wl_display_disconnect(display);
}

void WaylandDisplay::BindGlobal(std::uint32_t name, const char* interface, std::uint32_t version)
{
    wl_registry* registry = registry_.get();
    const std::string kind(interface);
    if (kind == wl_compositor_interface.name && !compositor_) {
        compositor_.reset(Bind<wl_compositor>(registry, name, wl_compositor_interface, version, COMPOSITOR_VERSION));
    } else if (kind == wl_shm_interface.name && !shm_) {
        shm_.reset(Bind<wl_shm>(registry, name, wl_shm_interface, version, SHM_VERSION));
    } else if (kind == wl_seat_interface.name && !seat_) {
        seat_.reset(Bind<wl_seat>(registry, name, wl_seat_interface, version, SEAT_VERSION));
        wl_seat_add_listener(seat_.get(), &SEAT_LISTENER, this);
    } else if (kind == zwlr_screencopy_manager_v1_interface.name && !screencopy_) {
        screencopy_.reset(Bind<zwlr_screencopy_manager_v1>(registry, name, zwlr_screencopy_manager_v1_interface,
                                                           version, SCREENCOPY_VERSION));
    } else if (kind == zwlr_virtual_pointer_manager_v1_interface.name && !pointerManager_) {
        pointerManager_.reset(Bind<zwlr_virtual_pointer_manager_v1>(
            registry, name, zwlr_virtual_pointer_manager_v1_interface, version, POINTER_MANAGER_VERSION));
    } else if (kind == zwlr_layer_shell_v1_interface.name && !layerShell_) {
        layerShell_.reset(
            Bind<zwlr_layer_shell_v1>(registry, name, zwlr_layer_shell_v1_interface, version, LAYER_SHELL_VERSION));
    } else if (kind == zxdg_output_manager_v1_interface.name && !outputManager_) {
        outputManager_.reset(Bind<zxdg_output_manager_v1>(registry, name, zxdg_output_manager_v1_interface, version,
                                                          OUTPUT_MANAGER_VERSION));
    } else if (kind == wl_output_interface.name) {
        auto output = std::make_unique<Output>();
        output->globalName = name;
        output->proxy.reset(Bind<wl_output>(registry, name, wl_output_interface, version, OUTPUT_VERSION));
        wl_output_add_listener(output->proxy.get(), &OUTPUT_LISTENER, output.get());
        RequestDetails(*output);
        outputs_.push_back(std::move(output));
    }
}

void WaylandDisplay::RequestDetails(Output& output) const
{
    if (outputManager_ && !output.details) {
        output.details.reset(zxdg_output_manager_v1_get_xdg_output(outputManager_.get(), output.proxy.get()));
        zxdg_output_v1_add_listener(output.details.get(), &XDG_OUTPUT_LISTENER, &output);
    }
}

void WaylandDisplay::RemoveGlobal(std::uint32_t name)
{
    outputs_.erase(std::remove_if(outputs_.begin(), outputs_.end(),
                                  [name](const std::unique_ptr<Output>& output) { return output->globalName == name; }),
                   outputs_.end());
}

void WaylandDisplay::CheckGlobals() const
{
    std::vector<std::string> missing;
    if (!shm_) {
        missing.push_back("wl_shm (shared-memory buffers)");
    }
    if (outputs_.empty()) {
        missing.push_back("wl_output (no monitor)");
    }
    if (!screencopy_) {
        missing.push_back("zwlr_screencopy_manager_v1 (screen capture)");
    }
    if (missing.empty()) {
        return;
    }
    if (!pointerManager_) {
        missing.push_back("zwlr_virtual_pointer_manager_v1 (scroll input)");
    }
    std::string list;
    for (const std::string& global : missing) {
        list += (list.empty() ? "" : ", ") + global;
    }
    throw CaptureError(CaptureError::Kind::MissingProtocol,
                       "the Wayland compositor lacks " + list +
                           "; capture needs a wlroots-based compositor such as sway, Hyprland, river or labwc");
}

const Output* WaylandDisplay::FindOutput(std::uint32_t globalName) const
{
    for (const std::unique_ptr<Output>& output : outputs_) {
        if (output->globalName == globalName) {
            return output.get();
        }
    }
    return nullptr;
}

void WaylandDisplay::ThrowConnectionError() const
{
    const int error = wl_display_get_error(display_.get());
    if (error == EPROTO) {
        const wl_interface* interface = nullptr;
        std::uint32_t id = 0;
        const std::uint32_t code = wl_display_get_protocol_error(display_.get(), &interface, &id);
        throw CaptureError(CaptureError::Kind::NoDisplay, "the Wayland compositor reported protocol error " +
                                                              std::to_string(code) + " on " +
                                                              (interface != nullptr ? interface->name : "an object"));
    }
    throw CaptureError(CaptureError::Kind::NoDisplay, std::string("lost the connection to the Wayland compositor: ") +
                                                          std::strerror(error != 0 ? error : EPIPE));
}

void WaylandDisplay::Flush() const
{
    while (wl_display_flush(display_.get()) < 0) {
        if (errno != EAGAIN) {
            ThrowConnectionError();
        }
        pollfd descriptor{wl_display_get_fd(display_.get()), POLLOUT, 0};
        poll(&descriptor, 1, -1);
    }
}

void WaylandDisplay::DispatchUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                                   const std::string& what, CaptureError::Kind timeoutKind) const
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + timeout;
    while (!done()) {
        if (wl_display_prepare_read(display_.get()) != 0) {
            if (wl_display_dispatch_pending(display_.get()) < 0) {
                ThrowConnectionError();
            }
            continue;
        }
        if (wl_display_flush(display_.get()) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(display_.get());
            ThrowConnectionError();
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            wl_display_cancel_read(display_.get());
            throw CaptureError(timeoutKind, what + " timed out");
        }
        pollfd descriptor{wl_display_get_fd(display_.get()), POLLIN, 0};
        // A signal (Ctrl-C) interrupts the wait; the caller checks for it between grabs.
        if (poll(&descriptor, 1, static_cast<int>(left)) <= 0) {
            wl_display_cancel_read(display_.get());
            continue;
        }
        if (wl_display_read_events(display_.get()) < 0 || wl_display_dispatch_pending(display_.get()) < 0) {
            ThrowConnectionError();
        }
    }
}

void WaylandDisplay::Roundtrip() const
{
    bool done = false;
    const CallbackProxy callback(wl_display_sync(display_.get()));
    wl_callback_add_listener(callback.get(), &CALLBACK_LISTENER, &done);
    DispatchUntil([&done] { return done; }, ROUNDTRIP_TIMEOUT, "waiting for the Wayland compositor",
                  CaptureError::Kind::NoDisplay);
}

}  // namespace Wayland
}  // namespace Capture
}  // namespace ZOLT
