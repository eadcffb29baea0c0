// PhaseCorrelationTranslationDetector, a whole provider: DetectTranslation over every pair, one
// worker thread per pair of captures. The pair operations are in PairCorrelation.cpp.

#include <ZOLT/Detection.h>

#include "core/Diagnostics.h"
#include "core/ListenerReports.h"
#include "detection/ConsistencyRule.h"
#include "detection/PairCorrelator.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <limits>
#include <mutex>
#include <thread>
#include <typeinfo>

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

/// Gives both captures' spectra back to the sequence's store when the pair step is done.
class PairRelease {
public:
    explicit PairRelease(const SequencePair& pair) : pair_(pair) {}
    PairRelease(const PairRelease&) = delete;
    PairRelease& operator=(const PairRelease&) = delete;
    ~PairRelease()
    {
        pair_.store.Release(pair_.first);
        pair_.store.Release(pair_.first + 1);
    }

private:
    const SequencePair& pair_;
};

/// Correlates captures `pair` - 1 and `pair`; writes the alternative when one is asked for.
using PairStep = std::function<Translation(const cv::Mat& previous, const cv::Mat& current, std::uint32_t pair,
                                           Translation* alternative)>;

/// The state one DetectTranslation call shares with its workers.
struct SequenceRun {
    SequenceRun(PairStep pairStep, IImageProvider& source, IStitcherListener* progressListener, std::size_t pairs,
                bool withAlternatives, float progressStart, float progressStep)
        : correlate(std::move(pairStep)),
          provider(source),
          listener(progressListener),
          results(pairs),
          alternatives(withAlternatives ? pairs : 0),
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
        Translation* const alternative = alternatives.empty() ? nullptr : &alternatives[pair - 1];
        results[pair - 1] = correlate(*previous, *current, pair, alternative);
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

    const PairStep correlate;
    IImageProvider& provider;
    IStitcherListener* const listener;
    std::vector<Translation> results;
    std::vector<Translation> alternatives;

    std::mutex mutex;
    std::condition_variable slotFreed;
    std::uint32_t active = 0;
    bool cancelled = false;
    std::exception_ptr failure;
    float position;
    const float step;
};

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
        Diagnostics::ErrorLine(listener, "Error: Not enough images in the IImageProvider.");
        return {};
    }

    std::deque<std::uint32_t> work;
    for (std::uint32_t pair = 1; pair < provider.Count(); ++pair) {
        work.push_back(pair);
    }
    // Widened first, so that a range spanning the whole int range cannot overflow.
    const float step =
        static_cast<float>(static_cast<std::int64_t>(progressEnd) - progressStart) / static_cast<float>(work.size());
    // A derived detector may replace the pair operations, so they are called through the virtual
    // table. This class's own ones are the pair step itself, which is then called directly with
    // the sequence's store of spectra, so that every capture is transformed once.
    SequenceSpectra spectra(provider.Count());
    PairStep pairStep;
    if (typeid(*this) == typeid(PhaseCorrelationTranslationDetector)) {
        pairStep = [this, &spectra, listener](const cv::Mat& previous, const cv::Mat& current, std::uint32_t pair,
                                              Translation* alternative) {
            const SequencePair shared{spectra, pair - 1U};
            const PairRelease release(shared);
            return implementation_->Correlate(parameters_, previous, current, alternative, listener, &shared);
        };
    } else {
        pairStep = [this, listener](const cv::Mat& previous, const cv::Mat& current, std::uint32_t,
                                    Translation* alternative) {
            return alternative != nullptr ? DetectTranslationWithAlternative(previous, current, *alternative, listener)
                                          : DetectTranslation(previous, current, listener);
        };
    }
    SequenceRun run(std::move(pairStep), provider, listener, provider.Count() - 1, parameters_.useAlternativePeak,
                    static_cast<float>(progressStart), step);
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
    implementation_->Workspaces().KeepAtMost(1);

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

    ReportError(listener, IStitcherListener::Cancelled);
    return {};
}

}  // namespace Stitching
}  // namespace ZOLT
