#pragma once

// One owner type per Wayland object the backend creates, so that every error path destroys what
// it made: a unique_ptr whose deleter sends the protocol's own destructor request. The protocol
// headers stay in the sources; here the objects are only declared.

#include <memory>

struct wl_registry;
struct wl_compositor;
struct wl_shm;
struct wl_shm_pool;
struct wl_buffer;
struct wl_seat;
struct wl_output;
struct wl_surface;
struct wl_pointer;
struct wl_keyboard;
struct wl_callback;
struct zwlr_screencopy_manager_v1;
struct zwlr_screencopy_frame_v1;
struct zwlr_virtual_pointer_manager_v1;
struct zwlr_virtual_pointer_v1;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;

namespace ZOLT {
namespace Capture {
namespace Wayland {

struct ProxyDeleter {
    void operator()(wl_registry* proxy) const;
    void operator()(wl_compositor* proxy) const;
    void operator()(wl_shm* proxy) const;
    void operator()(wl_shm_pool* proxy) const;
    void operator()(wl_buffer* proxy) const;
    void operator()(wl_seat* proxy) const;
    void operator()(wl_output* proxy) const;
    void operator()(wl_surface* proxy) const;
    void operator()(wl_pointer* proxy) const;
    void operator()(wl_keyboard* proxy) const;
    void operator()(wl_callback* proxy) const;
    void operator()(zwlr_screencopy_manager_v1* proxy) const;
    void operator()(zwlr_screencopy_frame_v1* proxy) const;
    void operator()(zwlr_virtual_pointer_manager_v1* proxy) const;
    void operator()(zwlr_virtual_pointer_v1* proxy) const;
    void operator()(zxdg_output_manager_v1* proxy) const;
    void operator()(zxdg_output_v1* proxy) const;
    void operator()(zwlr_layer_shell_v1* proxy) const;
    void operator()(zwlr_layer_surface_v1* proxy) const;
};

template <typename T>
using Proxy = std::unique_ptr<T, ProxyDeleter>;

using RegistryProxy = Proxy<wl_registry>;
using CompositorProxy = Proxy<wl_compositor>;
using ShmProxy = Proxy<wl_shm>;
using ShmPoolProxy = Proxy<wl_shm_pool>;
using BufferProxy = Proxy<wl_buffer>;
using SeatProxy = Proxy<wl_seat>;
using OutputProxy = Proxy<wl_output>;
using SurfaceProxy = Proxy<wl_surface>;
using PointerProxy = Proxy<wl_pointer>;
using KeyboardProxy = Proxy<wl_keyboard>;
using CallbackProxy = Proxy<wl_callback>;
using ScreencopyManagerProxy = Proxy<zwlr_screencopy_manager_v1>;
using ScreencopyFrameProxy = Proxy<zwlr_screencopy_frame_v1>;
using PointerManagerProxy = Proxy<zwlr_virtual_pointer_manager_v1>;
using VirtualPointerProxy = Proxy<zwlr_virtual_pointer_v1>;
using OutputManagerProxy = Proxy<zxdg_output_manager_v1>;
using XdgOutputProxy = Proxy<zxdg_output_v1>;
using LayerShellProxy = Proxy<zwlr_layer_shell_v1>;
using LayerSurfaceProxy = Proxy<zwlr_layer_surface_v1>;

}  // namespace Wayland
}  // namespace Capture
}  // namespace ZOLT
