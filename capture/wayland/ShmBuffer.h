#pragma once

// A buffer in anonymous shared memory that the compositor reads or fills: the file, its mapping
// and one wl_buffer over it, made and released as one unit.

#include "Proxy.h"

#include <opencv2/core.hpp>

#include <cstddef>
#include <cstdint>

namespace ZOLT {
namespace Capture {
namespace Wayland {

class ShmBuffer {
public:
    /// `size` pixels of 4 bytes, `stride` bytes a row, in the wl_shm `format`. Throws
    /// CaptureError (unreadable) when the shared memory cannot be made.
    ShmBuffer(wl_shm* shm, const cv::Size& size, int stride, std::uint32_t format);
    ShmBuffer(const ShmBuffer&) = delete;
    ShmBuffer& operator=(const ShmBuffer&) = delete;
    ~ShmBuffer();

    wl_buffer* Get() const { return buffer_.get(); }
    std::uint32_t Format() const { return format_; }
    /// Whether the buffer has exactly this shape, so it can be used again.
    bool Fits(const cv::Size& size, int stride, std::uint32_t format) const;
    /// The mapped pixels, four bytes each, in the buffer's format; no copy.
    cv::Mat Pixels() const;

private:
    const cv::Size size_;
    const int stride_;
    const std::uint32_t format_;
    const std::size_t bytes_;
    void* data_ = nullptr;
    BufferProxy buffer_;
};

}  // namespace Wayland
}  // namespace Capture
}  // namespace ZOLT
