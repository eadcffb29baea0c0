#pragma once

// Stitching while capturing: the capture loop hands each capture over and goes on; a worker
// thread records it (store, preview, saved PNG) and, for the page stitcher, measures it against
// the one before, so that after the last capture little more than composing and writing is left.

#include "CaptureRecorder.h"
#include "Options.h"
#include "StitchRun.h"

#include <ZOLT/PageStitcher.h>

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace ZOLT {
namespace CaptureTool {

class LiveStitch {
public:
    /// Keeps references to both; they must outlive it. Starts the worker.
    LiveStitch(const Options& options, CaptureRecorder& recorder);
    LiveStitch(const LiveStitch&) = delete;
    LiveStitch& operator=(const LiveStitch&) = delete;
    /// Stops the worker, dropping what it has not taken yet.
    ~LiveStitch();

    /// Hands over a capture and its position along the axis (see Capture::LoopHost). A capture
    /// that breaks the page order ends the measuring as they arrive: they are stitched at the
    /// end, in page order. Rethrows the worker's failure.
    void Add(const cv::Mat& capture, int position);
    /// Whether the worker failed (its error comes with Add or Drain).
    bool Failed() const;
    /// Waits until the worker has taken every capture; rethrows its failure.
    void Drain();
    /// After Drain: the stitched result of every capture, in page order. Throws ToolError as
    /// Cli::RunStitch does.
    Cli::StitchOutcome Finish(Cli::ConsoleListener& listener);

private:
    class DeferredListener;

    void Work();
    /// Takes the queued captures into the recorder; false once the queue is closed and empty.
    bool TakeQueued();
    /// The captures' indices sorted by position: their page order.
    std::vector<std::size_t> PageOrder() const;

    const Options& options_;
    CaptureRecorder& recorder_;
    std::vector<int> positions_;
    bool inPageOrder_ = true;
    std::unique_ptr<DeferredListener> listener_;
    std::unique_ptr<Stitching::PageStitchSession> session_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<cv::Mat> queue_;
    bool closed_ = false;
    bool idle_ = true;
    bool measuring_ = true;
    std::exception_ptr failure_;
    std::thread worker_;
};

}  // namespace CaptureTool
}  // namespace ZOLT
