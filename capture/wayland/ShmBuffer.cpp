#include "ShmBuffer.h"

#include "Protocols.h"

#include <ZOLT/Capture/CaptureError.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace ZOLT {
namespace Capture {
namespace Wayland {

namespace {

/// Closes the file when the buffer is made or its making failed: the mapping and the
/// compositor's pool keep the memory.
struct FileDescriptor {
    explicit FileDescriptor(int descriptor) : value(descriptor) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor()
    {
        if (value >= 0) {
            close(value);
        }
    }
    const int value;
};

[[noreturn]] void ThrowSystemError(const std::string& what)
{
    throw CaptureError(CaptureError::Kind::Unreadable, "cannot " + what + ": " + std::strerror(errno));
}

}  // namespace

ShmBuffer::ShmBuffer(wl_shm* shm, const cv::Size& size, int stride, std::uint32_t format)
    : size_(size),
      stride_(stride),
      format_(format),
      bytes_(static_cast<std::size_t>(stride) * static_cast<std::size_t>(size.height))
{
    if (size.width <= 0 || size.height <= 0 || stride < size.width * 4) {
        throw CaptureError(CaptureError::Kind::Unreadable,
                           "the compositor offered a buffer of " + std::to_string(size.width) + " x " +
                               std::to_string(size.height) + " pixels, stride " + std::to_string(stride));
    }
    const FileDescriptor file(memfd_create("zolt-capture", MFD_CLOEXEC));
    if (file.value < 0) {
        ThrowSystemError("make shared memory for a capture");
    }
    if (ftruncate(file.value, static_cast<off_t>(bytes_)) < 0) {
        ThrowSystemError("size shared memory of " + std::to_string(bytes_) + " bytes");
    }
    data_ = mmap(nullptr, bytes_, PROT_READ | PROT_WRITE, MAP_SHARED, file.value, 0);
    if (data_ == MAP_FAILED) {
        data_ = nullptr;
        ThrowSystemError("map shared memory of " + std::to_string(bytes_) + " bytes");
    }
    // The pool only lends the memory to the buffer: destroying it at once is what the protocol
    // expects of a pool with a single buffer.
    const ShmPoolProxy pool(wl_shm_create_pool(shm, file.value, static_cast<std::int32_t>(bytes_)));
    buffer_.reset(wl_shm_pool_create_buffer(pool.get(), 0, size.width, size.height, stride, format));
}

ShmBuffer::~ShmBuffer()
{
    buffer_.reset();
    if (data_ != nullptr) {
        munmap(data_, bytes_);
    }
}

bool ShmBuffer::Fits(const cv::Size& size, int stride, std::uint32_t format) const
{
    return size == size_ && stride == stride_ && format == format_;
}

cv::Mat ShmBuffer::Pixels() const
{
    return cv::Mat(size_, CV_8UC4, data_, static_cast<std::size_t>(stride_));
}

}  // namespace Wayland
}  // namespace Capture
}  // namespace ZOLT
