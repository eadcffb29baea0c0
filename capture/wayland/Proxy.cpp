#include "Proxy.h"

#include "Protocols.h"

namespace ZOLT {
namespace Capture {
namespace Wayland {

void ProxyDeleter::operator()(wl_registry* proxy) const
{
    wl_registry_destroy(proxy);
}

void ProxyDeleter::operator()(wl_compositor* proxy) const
{
    wl_compositor_destroy(proxy);
}

void ProxyDeleter::operator()(wl_shm* proxy) const
{
    wl_shm_destroy(proxy);
}

void ProxyDeleter::operator()(wl_shm_pool* proxy) const
{
    wl_shm_pool_destroy(proxy);
}

void ProxyDeleter::operator()(wl_buffer* proxy) const
{
    wl_buffer_destroy(proxy);
}

void ProxyDeleter::operator()(wl_seat* proxy) const
{
    wl_seat_destroy(proxy);
}

void ProxyDeleter::operator()(wl_output* proxy) const
{
    wl_output_destroy(proxy);
}

void ProxyDeleter::operator()(wl_surface* proxy) const
{
    wl_surface_destroy(proxy);
}

void ProxyDeleter::operator()(wl_pointer* proxy) const
{
    wl_pointer_destroy(proxy);
}

void ProxyDeleter::operator()(wl_keyboard* proxy) const
{
    wl_keyboard_destroy(proxy);
}

void ProxyDeleter::operator()(wl_callback* proxy) const
{
    wl_callback_destroy(proxy);
}

void ProxyDeleter::operator()(zwlr_screencopy_manager_v1* proxy) const
{
    zwlr_screencopy_manager_v1_destroy(proxy);
}

void ProxyDeleter::operator()(zwlr_screencopy_frame_v1* proxy) const
{
    zwlr_screencopy_frame_v1_destroy(proxy);
}

void ProxyDeleter::operator()(zwlr_virtual_pointer_manager_v1* proxy) const
{
    zwlr_virtual_pointer_manager_v1_destroy(proxy);
}

void ProxyDeleter::operator()(zwlr_virtual_pointer_v1* proxy) const
{
    zwlr_virtual_pointer_v1_destroy(proxy);
}

void ProxyDeleter::operator()(zxdg_output_manager_v1* proxy) const
{
    zxdg_output_manager_v1_destroy(proxy);
}

void ProxyDeleter::operator()(zxdg_output_v1* proxy) const
{
    zxdg_output_v1_destroy(proxy);
}

void ProxyDeleter::operator()(zwlr_layer_shell_v1* proxy) const
{
    zwlr_layer_shell_v1_destroy(proxy);
}

void ProxyDeleter::operator()(zwlr_layer_surface_v1* proxy) const
{
    zwlr_layer_surface_v1_destroy(proxy);
}

}  // namespace Wayland
}  // namespace Capture
}  // namespace ZOLT
