// Translation detection over a whole provider, one worker thread per pair of captures.

#include <ZOLT/Detection.h>

#include "core/Diagnostics.h"
#include "detection/ConsistencyRule.h"
#include "detection/CorrelationBuffers.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>

namespace ZOLT {
namespace Stitching {

namespace {

/// A progress position truncated toward zero. Single-precision rounding can carry the position
/// of a range that ends near the int limits just past them; it is kept inside.
int ProgressPosition(float position)
{
    constexpr float limit = 2147483648.0f;  // 2^31, exact in single precision
    if (position >= limit) {
        return std::numeric_limits<int>::max();
    }
    if (position < -limit) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(position);
}

}  // namespace

/// The state one DetectTranslation call shares with its workers.
struct PhaseCorrelationTranslationDetector::SequenceRun {
    SequenceRun(PhaseCorrelationTranslationDetector& owner, IImageProvider& source, IStitcherListener* progressListener,
                std::size_t pairs, float progressStart, float progressStep)
        : detector(owner),
          provider(source),
          listener(progressListener),
          results(pairs),
          alternatives(pairs),
          spectra(pairs + 1),
          position(progressStart),
          step(progressStep)
    {
    }

    /// Worker task for pair `pair` (captures pair - 1 and pair). Never throws: an exception is
    /// kept for the calling thread, and the slot is always given back.
    void RunPair(std::uint32_t pair) noexcept
    {
        std::exception_ptr pairFailure;
        try {
            CorrelatePair(pair);
        } catch (...) {
            pairFailure = std::current_exception();
        }

        const std::lock_guard<std::mutex> lock(mutex);
        if (pairFailure && !failure) {
            failure = pairFailure;
        }
        if (!failure) {
            ReportProgress();
        }
        --active;
        slotFreed.notify_one();
    }

    void CorrelatePair(std::uint32_t pair)
    {
        std::shared_ptr<cv::Mat> current = provider.GetImageAt(pair);
        std::shared_ptr<cv::Mat> previous = provider.GetImageAt(pair - 1);
        {
            // Lets the base pair operation take both spectra from (or leave them in) the
            // sequence's store; the call itself still goes through the virtual table.
            const PairInSequence shared(spectra, pair, *previous, *current);
            if (detector.parameters_.useAlternativePeak) {
                results[pair - 1] =
                    detector.DetectTranslationWithAlternative(*previous, *current, alternatives[pair - 1], listener);
            } else {
                results[pair - 1] = detector.DetectTranslation(*previous, *current, listener);
            }
        }
        previous.reset();
        current.reset();
    }

    /// Called with the mutex held.
    void ReportProgress()
    {
        if (listener == nullptr || cancelled) {
            return;
        }
        position += step;
        try {
            if (!listener->OnProgress(ProgressPosition(position))) {
                cancelled = true;
            }
        } catch (...) {
            failure = std::current_exception();
        }
    }

    PhaseCorrelationTranslationDetector& detector;
    IImageProvider& provider;
    IStitcherListener* const listener;
    std::vector<Translation> results;
    std::vector<Translation> alternatives;
    SequenceSpectra spectra;

    std::mutex mutex;
    std::condition_variable slotFreed;
    std::uint32_t active = 0;
    bool cancelled = false;
    std::exception_ptr failure;
    float position;
    const float step;
};

namespace {

/// Joins every started worker when the dispatcher leaves, whatever the path.
class WorkerThreads {
public:
    explicit WorkerThreads(std::size_t capacity) { threads_.reserve(capacity); }
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;
    ~WorkerThreads() { JoinAll(); }

    template <typename Task>
    void Start(Task&& task)
    {
        threads_.emplace_back(std::forward<Task>(task));
    }

    void JoinAll()
    {
        for (std::thread& thread : threads_) {
            if (thread.joinable()) {
                thread.join();
            }
        }
    }

private:
    std::vector<std::thread> threads_;
};

}  // namespace

std::vector<Translation> PhaseCorrelationTranslationDetector::DetectTranslation(IImageProvider& provider,
                                                                               IStitcherListener* listener,
                                                                               int progressStart, int progressEnd)
{
    if (provider.Count() < 2) {
        Diagnostics::ErrorLine("Error: Not enough images in the IImageProvider.");
        return {};
    }

    std::deque<std::uint32_t> work;
    for (std::uint32_t pair = 1; pair < provider.Count(); ++pair) {
        work.push_back(pair);
    }
    // Widened first, so that a range spanning the whole int range cannot overflow.
    const float step =
        static_cast<float>(static_cast<std::int64_t>(progressEnd) - progressStart) / static_cast<float>(work.size());
    SequenceRun run(*this, provider, listener, provider.Count() - 1, static_cast<float>(progressStart), step);
    const std::uint32_t slots = parameters_.maxThreads < 1 ? 1U : static_cast<std::uint32_t>(parameters_.maxThreads);

    WorkerThreads workers(work.size());
    while (!work.empty()) {
        std::unique_lock<std::mutex> lock(run.mutex);
        run.slotFreed.wait(lock, [&run, slots] { return run.active < slots; });
        if (run.failure) {
            break;
        }
        const std::uint32_t pair = work.front();
        try {
            workers.Start([&run, pair] { run.RunPair(pair); });
        } catch (...) {
            run.failure = std::current_exception();
            break;
        }
        work.pop_front();
        ++run.active;
        const bool stop = run.cancelled;
        lock.unlock();
        if (stop) {
            break;
        }
    }
    workers.JoinAll();
    // Keep one workspace for the next call; give the other workers' buffers back.
    workspaces_->KeepAtMost(1);

    if (run.failure) {
        std::rethrow_exception(run.failure);
    }
    if (!run.cancelled) {
        if (parameters_.useAlternativePeak && run.results.size() > 1) {
            ApplyConsistencyRule(run.results, run.alternatives);
        }
        if (listener != nullptr && !listener->OnProgress(progressEnd)) {
            run.cancelled = true;
        }
        if (!run.cancelled) {
            return run.results;
        }
    }

    if (listener != nullptr) {
        listener->OnError(IStitcherListener::Cancelled, false);
    }
    return {};
}

}  // namespace Stitching
}  // namespace ZOLT
