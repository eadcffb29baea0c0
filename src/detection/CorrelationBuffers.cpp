#include "detection/CorrelationBuffers.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include <utility>

namespace ZOLT {
namespace Stitching {

// --- Large buffers ----------------------------------------------------------------------------

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
            CV_Error(cv::Error::StsNoMem, "Failed to allocate a transform buffer.");
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

// --- Workspaces -------------------------------------------------------------------------------

WorkspacePool::Lease::Lease(WorkspacePool& pool,
                                                                 std::unique_ptr<Workspace> workspace)
    : pool_(pool), workspace_(std::move(workspace))
{
}

WorkspacePool::Lease::~Lease()
{
    pool_.GiveBack(std::move(workspace_));
}

WorkspacePool::Lease WorkspacePool::Acquire()
{
    std::unique_ptr<Workspace> workspace;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!idle_.empty()) {
            workspace = std::move(idle_.back());
            idle_.pop_back();
        }
    }
    if (!workspace) {
        workspace = std::make_unique<Workspace>();
    }
    return Lease(*this, std::move(workspace));
}

void WorkspacePool::KeepAtMost(std::size_t idle)
{
    std::vector<std::unique_ptr<Workspace>> surplus;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        while (idle_.size() > idle) {
            surplus.push_back(std::move(idle_.back()));
            idle_.pop_back();
        }
    }
    // The buffers are freed here, outside the lock.
}

void WorkspacePool::GiveBack(std::unique_ptr<Workspace> workspace)
{
    try {
        const std::lock_guard<std::mutex> lock(mutex_);
        idle_.push_back(std::move(workspace));
    } catch (...) {
        // Not kept: the workspace is freed, and the next pair allocates a new one.
    }
}

// --- Spectra shared by the pairs of a sequence ------------------------------------------------

SequenceSpectra::SequenceSpectra(std::size_t captures)
{
    entries_.reserve(captures);
    for (std::size_t index = 0; index < captures; ++index) {
        entries_.push_back(std::make_unique<Entry>());
        // Capture i belongs to pair i (with capture i - 1) and to pair i + 1 (with capture i + 1).
        entries_.back()->users = (index > 0 ? 1 : 0) + (index + 1 < captures ? 1 : 0);
    }
}

bool SequenceSpectra::Get(std::size_t index, const Compute& compute, PackedSpectrum& spectrum)
{
    Entry& entry = *entries_.at(index);
    const std::lock_guard<std::mutex> lock(entry.mutex);
    if (!entry.ready) {
        entry.spectrum = PackedSpectrum();
        entry.spectrum.packed = TakeSpareBuffer();
        UseLargeBufferAllocator(entry.spectrum.packed);
        if (!compute(entry.spectrum)) {
            KeepSpareBuffer(entry.spectrum.packed);
            entry.spectrum = PackedSpectrum();
            return false;
        }
        entry.ready = true;
    }
    spectrum = entry.spectrum;
    return true;
}

void SequenceSpectra::Release(std::size_t index)
{
    Entry& entry = *entries_.at(index);
    cv::Mat finished;
    {
        const std::lock_guard<std::mutex> lock(entry.mutex);
        if (--entry.users > 0 || !entry.ready) {
            return;
        }
        finished = entry.spectrum.packed;
        entry.spectrum = PackedSpectrum();
        entry.ready = false;
    }
    KeepSpareBuffer(finished);
}

cv::Mat SequenceSpectra::TakeSpareBuffer()
{
    const std::lock_guard<std::mutex> lock(spareMutex_);
    if (spare_.empty()) {
        return cv::Mat();
    }
    cv::Mat buffer = spare_.back();
    spare_.pop_back();
    return buffer;
}

void SequenceSpectra::KeepSpareBuffer(cv::Mat buffer)
{
    if (buffer.empty()) {
        return;
    }
    try {
        const std::lock_guard<std::mutex> lock(spareMutex_);
        spare_.push_back(buffer);
    } catch (...) {
        // Not kept: a later capture allocates its own buffer.
    }
}

}  // namespace Stitching
}  // namespace ZOLT
