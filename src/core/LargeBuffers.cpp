// Large pixel buffers mapped on their own, so that freeing one gives its memory straight back.

#include "core/LargeBuffers.h"

#include <cstring>

#if defined(__linux__)
#  include <sys/mman.h>
#endif

namespace ZOLT {
namespace Stitching {

namespace {

#if defined(__linux__)

/// Buffers of at least 2 MiB are mapped on their own and marked for huge pages; smaller ones
/// come from OpenCV's usual aligned heap allocation.
class LargeBufferAllocator final : public cv::MatAllocator {
public:
    cv::UMatData* allocate(int dims, const int* sizes, int type, void* given, size_t* step, cv::AccessFlag,
                           cv::UMatUsageFlags) const override
    {
        std::size_t total = CV_ELEM_SIZE(type);
        for (int axis = dims - 1; axis >= 0; --axis) {
            if (step != nullptr) {
                if (given != nullptr && step[axis] != cv::Mat::AUTO_STEP) {
                    total = step[axis];
                } else {
                    step[axis] = total;
                }
            }
            total *= static_cast<std::size_t>(sizes[axis]);
        }
        uchar* data = given != nullptr ? static_cast<uchar*>(given) : Allocate(total);
        cv::UMatData* record = nullptr;
        try {
            record = new cv::UMatData(this);
        } catch (...) {
            if (given == nullptr) {
                Free(data, total);
            }
            throw;
        }
        record->data = data;
        record->origdata = data;
        record->size = total;
        if (given != nullptr) {
            record->flags |= cv::UMatData::USER_ALLOCATED;
        }
        return record;
    }

    bool allocate(cv::UMatData* record, cv::AccessFlag, cv::UMatUsageFlags) const override { return record != nullptr; }

    void deallocate(cv::UMatData* record) const override
    {
        if (record == nullptr) {
            return;
        }
        CV_Assert(record->urefcount == 0 && record->refcount == 0);
        if (!(record->flags & cv::UMatData::USER_ALLOCATED)) {
            Free(record->origdata, record->size);
            record->origdata = nullptr;
        }
        delete record;
    }

private:
    static constexpr std::size_t MAPPED_SIZE = std::size_t(2) << 20;

    static uchar* Allocate(std::size_t size)
    {
        if (size < MAPPED_SIZE) {
            return static_cast<uchar*>(cv::fastMalloc(size));
        }
        void* mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) {
            CV_Error(cv::Error::StsNoMem, "Failed to allocate a large buffer.");
        }
        // Only advice: without huge pages the buffer works all the same.
        madvise(mapped, size, MADV_HUGEPAGE);
        return static_cast<uchar*>(mapped);
    }

    static void Free(uchar* data, std::size_t size)
    {
        if (size < MAPPED_SIZE) {
            cv::fastFree(data);
        } else {
            munmap(data, size);
        }
    }
};

cv::MatAllocator* LargeBuffers()
{
    // Stateless, and never destroyed: matrices handed out to callers may outlive everything else.
    static cv::MatAllocator* const allocator = new LargeBufferAllocator();
    return allocator;
}

#else

cv::MatAllocator* LargeBuffers()
{
    return cv::Mat::getStdAllocator();
}

#endif

}  // namespace

void UseLargeBufferAllocator(cv::Mat& matrix)
{
    matrix.allocator = LargeBuffers();
}

cv::Mat LargeCopy(const cv::Mat& image)
{
    cv::Mat copy;
    UseLargeBufferAllocator(copy);
    image.copyTo(copy);
    return copy;
}

cv::Mat LargeZeros(const cv::Size& size, int type)
{
    cv::Mat zeros;
    UseLargeBufferAllocator(zeros);
    zeros.create(size, type);
    // Byte by byte, for any number of channels; a new buffer is continuous.
    std::memset(zeros.data, 0, zeros.total() * zeros.elemSize());
    return zeros;
}

}  // namespace Stitching
}  // namespace ZOLT
