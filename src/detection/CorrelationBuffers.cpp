#include "detection/CorrelationBuffers.h"

#include <utility>

namespace ZOLT {
namespace Stitching {

// --- Workspaces -------------------------------------------------------------------------------

WorkspacePool::Lease::Lease(WorkspacePool& pool, std::unique_ptr<Workspace> workspace)
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
