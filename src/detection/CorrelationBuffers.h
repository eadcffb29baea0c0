#pragma once

// Buffers of the pair correlation that outlive one pair.
//
// The transforms of a 1080p pair work on matrices of 30 to 65 MB each. Allocating them for every
// pair costs more than the transforms themselves (fresh pages must be faulted in), so each pair
// operation borrows a workspace from its detector and gives it back for the next pair. During
// detection over a sequence every capture's spectrum is also needed by two pairs; the sequence
// keeps it until both have used it.

#include "core/LargeBuffers.h"
#include "detection/PackedSpectrum.h"

#include <opencv2/core.hpp>

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace ZOLT {
namespace Stitching {

/// The matrices one pair correlation works in: about 3 times the padded size in floats.
struct Workspace {
    cv::Mat firstGrey;
    cv::Mat secondGrey;
    /// CV_32FC1 padded image. While `paddingClean` is set, everything outside `placed` is 0, so
    /// the next image of that placement only has to be copied in. The second capture's spectrum
    /// is transformed in place over it, and the correlation surface is written over that.
    cv::Mat padded;
    cv::Rect placed;
    bool paddingClean = false;
    /// CV_32FC2 of the padded size. Columns 0 to width / 2 receive the normalised cross-power
    /// spectrum, the only columns the inverse transform reads; the rest of each row, from float
    /// `width` on, holds the first capture's packed spectrum until then (its value 0 is never
    /// read, so it may share a float with the last column for odd widths).
    cv::Mat normalised;
};

/// Idle workspaces of one detector (and of its copies). Thread-safe.
class WorkspacePool {
public:
    /// A workspace borrowed for the duration of one pair operation.
    class Lease {
    public:
        Lease(WorkspacePool& pool, std::unique_ptr<Workspace> workspace);
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        ~Lease();

        Workspace& operator*() const { return *workspace_; }
        Workspace* operator->() const { return workspace_.get(); }

    private:
        WorkspacePool& pool_;
        std::unique_ptr<Workspace> workspace_;
    };

    /// An idle workspace, or a new empty one when none is idle.
    Lease Acquire();
    /// Frees idle workspaces until at most `idle` are left.
    void KeepAtMost(std::size_t idle);

private:
    void GiveBack(std::unique_ptr<Workspace> workspace);

    std::mutex mutex_;
    std::vector<std::unique_ptr<Workspace>> idle_;
};

/// Spectra of the captures of one detection over a sequence, each computed once and kept until
/// the pairs that use it are done. Thread-safe; a capture's spectrum is computed by the first pair
/// that asks for it.
class SequenceSpectra {
public:
    /// Computes a capture's spectrum into the given one, whose packed matrix may hold a buffer to
    /// reuse; false when the transform failed (the next pair that asks computes it again).
    using Compute = std::function<bool(PackedSpectrum& spectrum)>;

    explicit SequenceSpectra(std::size_t captures);
    SequenceSpectra(const SequenceSpectra&) = delete;
    SequenceSpectra& operator=(const SequenceSpectra&) = delete;

    /// The spectrum of capture `index`; false when computing it failed.
    bool Get(std::size_t index, const Compute& compute, PackedSpectrum& spectrum);
    /// One of the (at most two) pairs that use capture `index` is done with it; after the last,
    /// its buffer is kept for a later capture.
    void Release(std::size_t index);

private:
    struct Entry {
        std::mutex mutex;
        bool ready = false;
        PackedSpectrum spectrum;
        int users = 0;
    };

    cv::Mat TakeSpareBuffer();
    void KeepSpareBuffer(cv::Mat buffer);

    std::vector<std::unique_ptr<Entry>> entries_;
    std::mutex spareMutex_;
    std::vector<cv::Mat> spare_;
};

/// The two captures of a pair as positions in a sequence whose spectra `store` keeps: the
/// sequence loop hands this to the pair step, so both spectra are computed once per sequence.
struct SequencePair {
    SequenceSpectra& store;
    /// Index of the pair's first capture; the second one follows it.
    std::size_t first;
};

}  // namespace Stitching
}  // namespace ZOLT
