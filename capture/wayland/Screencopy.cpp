#include "Screencopy.h"

#include "Protocols.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

namespace ZOLT {
namespace Capture {
namespace Wayland {

namespace {

/// A frame waits at most this long for the compositor: it sends one each time the output
/// repaints, at least once a second even when nothing changes.
constexpr std::chrono::seconds FRAME_TIMEOUT(5);

// DRM fourcc codes that wl_shm uses for formats other than its first two.
constexpr std::uint32_t FOURCC_XBGR8888 = 0x34324258;  // "XB24"
constexpr std::uint32_t FOURCC_ABGR8888 = 0x34324241;  // "AB24"

/// What the compositor said about one frame; the callbacks only record it.
struct FrameState {
    bool bufferKnown = false;
    std::uint32_t format = 0;
    cv::Size size;
    int stride = 0;
    bool bufferDone = false;
    bool yInverted = false;
    bool ready = false;
    bool failed = false;
};

void frame_handle_buffer(void* data, zwlr_screencopy_frame_v1*, std::uint32_t format, std::uint32_t width,
                         std::uint32_t height, std::uint32_t stride)
{
    auto* state = static_cast<FrameState*>(data);
    state->bufferKnown = true;
    state->format = format;
    state->size = cv::Size(static_cast<int>(width), static_cast<int>(height));
    state->stride = static_cast<int>(stride);
}

void frame_handle_flags(void* data, zwlr_screencopy_frame_v1*, std::uint32_t flags)
{
    static_cast<FrameState*>(data)->yInverted = (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
}

void frame_handle_ready(void* data, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t)
{
    static_cast<FrameState*>(data)->ready = true;
}

void frame_handle_failed(void* data, zwlr_screencopy_frame_v1*)
{
    static_cast<FrameState*>(data)->failed = true;
}

void frame_handle_damage(void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t)
{
}

void frame_handle_linux_dmabuf(void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t)
{
}

void frame_handle_buffer_done(void* data, zwlr_screencopy_frame_v1*)
{
    static_cast<FrameState*>(data)->bufferDone = true;
}

const zwlr_screencopy_frame_v1_listener FRAME_LISTENER = {
    frame_handle_buffer, frame_handle_flags,        frame_handle_ready,       frame_handle_failed,
    frame_handle_damage, frame_handle_linux_dmabuf, frame_handle_buffer_done,
};

/// The channel pairs (from, to) that pick red, green and blue out of a pixel of `format`;
/// nothing when the format is not 8-bit RGB in four bytes.
std::optional<std::array<int, 6>> RgbChannels(std::uint32_t format)
{
    switch (format) {
    case WL_SHM_FORMAT_ARGB8888:
    case WL_SHM_FORMAT_XRGB8888:
        // Little-endian 32-bit words: blue, green, red, alpha in memory.
        return std::array<int, 6>{2, 0, 1, 1, 0, 2};
    case FOURCC_ABGR8888:
    case FOURCC_XBGR8888:
        return std::array<int, 6>{0, 0, 1, 1, 2, 2};
    default:
        return std::nullopt;
    }
}

std::string FormatName(std::uint32_t format)
{
    if (format == WL_SHM_FORMAT_ARGB8888 || format == WL_SHM_FORMAT_XRGB8888) {
        return format == WL_SHM_FORMAT_ARGB8888 ? "AR24" : "XR24";
    }
    std::string name;
    for (int shift = 0; shift < 32; shift += 8) {
        name += static_cast<char>((format >> shift) & 0xff);
    }
    char code[16];
    std::snprintf(code, sizeof code, " (0x%08x)", format);
    return name + code;
}

/// The buffer's pixels as a capture: red, green, blue from the format, alpha 255, upright.
cv::Mat ToCapture(const ShmBuffer& buffer, bool yInverted)
{
    const std::array<int, 6> fromTo = *RgbChannels(buffer.Format());
    const cv::Mat pixels = buffer.Pixels();
    // The fourth byte is padding in the X formats and a window's own alpha in the others: every
    // capture pixel is opaque, as on the screen.
    cv::Mat capture(pixels.size(), CV_8UC4, cv::Scalar(0, 0, 0, 255));
    cv::mixChannels(&pixels, 1, &capture, 1, fromTo.data(), 3);
    if (yInverted) {
        cv::flip(capture, capture, 0);
    }
    return capture;
}

}  // namespace

cv::Mat Screencopy::Grab(const Output& output, const cv::Rect& region)
{
    FrameState state;
    const ScreencopyFrameProxy frame(zwlr_screencopy_manager_v1_capture_output_region(
        display_.Screencopy(), 0, output.proxy.get(), region.x, region.y, region.width, region.height));
    zwlr_screencopy_frame_v1_add_listener(frame.get(), &FRAME_LISTENER, &state);
    // Version 3 ends the buffer offers with buffer_done; before it, the one offer comes at once.
    const bool announcesEnd = zwlr_screencopy_frame_v1_get_version(frame.get()) >= 3;
    display_.DispatchUntil(
        [&state, announcesEnd] { return state.failed || (announcesEnd ? state.bufferDone : state.bufferKnown); },
        FRAME_TIMEOUT, "a screen capture", CaptureError::Kind::Unreadable);
    if (state.failed || !state.bufferKnown) {
        throw CaptureError(CaptureError::Kind::Unreadable,
                           "the compositor refused to copy the screen (no shared-memory buffer offered)");
    }
    if (!RgbChannels(state.format)) {
        throw CaptureError(CaptureError::Kind::Unreadable, "the compositor's pixel format " + FormatName(state.format) +
                                                               " is not supported; only 8-bit RGB is");
    }
    if (!buffer_ || !buffer_->Fits(state.size, state.stride, state.format)) {
        buffer_.reset();
        buffer_ = std::make_unique<ShmBuffer>(display_.Shm(), state.size, state.stride, state.format);
    }
    zwlr_screencopy_frame_v1_copy(frame.get(), buffer_->Get());
    display_.DispatchUntil([&state] { return state.ready || state.failed; }, FRAME_TIMEOUT, "a screen capture",
                           CaptureError::Kind::Unreadable);
    if (state.failed) {
        throw CaptureError(CaptureError::Kind::Unreadable, "the compositor failed to copy the screen");
    }
    return ToCapture(*buffer_, state.yInverted);
}

}  // namespace Wayland
}  // namespace Capture
}  // namespace ZOLT
