#include "LiveStitch.h"

#include "Cancellation.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace ZOLT {
namespace CaptureTool {

namespace {

using Listener = Stitching::IStitcherListener;

/// The captures of a provider in another order, for a stitch in page order.
class ReorderedProvider : public IImageProvider {
public:
    ReorderedProvider(IImageProvider& captures, std::vector<std::size_t> order)
        : captures_(captures), order_(std::move(order))
    {
    }

    std::size_t Count() override { return order_.size(); }
    bool IsEmpty() override { return order_.empty(); }
    std::shared_ptr<cv::Mat> GetImageAt(std::size_t index) override { return captures_.GetImageAt(order_.at(index)); }
    void SetImageAt(std::size_t index, cv::Mat& image) override { captures_.SetImageAt(order_.at(index), image); }

private:
    IImageProvider& captures_;
    const std::vector<std::size_t> order_;
};

}  // namespace

/// What the measuring during the capture reports, kept for the console until the end: the
/// progress of a stitch not yet begun means nothing to the user.
class LiveStitch::DeferredListener : public Listener {
public:
    bool OnProgress(int) override { return !Cli::CancelRequested(); }
    void OnComplete(bool) override {}
    bool OnError(StitcherErrorCodes code, bool) override
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        errors_.push_back(code);
        return false;
    }
    void OnWarning(StitcherWarningCodes code) override
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        warnings_.push_back(code);
    }

    void Replay(Listener& listener) const
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (const StitcherErrorCodes code : errors_) {
            listener.OnError(code, false);
        }
        for (const StitcherWarningCodes code : warnings_) {
            listener.OnWarning(code);
        }
    }

private:
    mutable std::mutex mutex_;
    std::vector<StitcherErrorCodes> errors_;
    std::vector<StitcherWarningCodes> warnings_;
};

LiveStitch::LiveStitch(const Options& options, CaptureRecorder& recorder)
    : options_(options), recorder_(recorder), listener_(std::make_unique<DeferredListener>())
{
    if (options.stitcher == Cli::StitcherKind::Page && options.stitchWhileCapturing) {
        session_ = std::make_unique<Stitching::PageStitchSession>(options.parameters, recorder.Store().Provider());
    }
    worker_ = std::thread([this] { Work(); });
}

LiveStitch::~LiveStitch()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        queue_.clear();
    }
    changed_.notify_all();
    worker_.join();
}

void LiveStitch::Add(const cv::Mat& capture, int position)
{
    if (positions_.size() >= 2) {
        const bool forward = positions_[1] > positions_[0];
        inPageOrder_ = inPageOrder_ && (position > positions_.back()) == forward;
    }
    positions_.push_back(position);
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (failure_) {
            std::rethrow_exception(failure_);
        }
        measuring_ = measuring_ && inPageOrder_;
        queue_.push_back(capture);
        idle_ = false;
    }
    changed_.notify_all();
}

bool LiveStitch::Failed() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return failure_ != nullptr;
}

void LiveStitch::Drain()
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return (idle_ && queue_.empty()) || failure_; });
    if (failure_) {
        std::rethrow_exception(failure_);
    }
}

bool LiveStitch::TakeQueued()
{
    std::deque<cv::Mat> taken;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        idle_ = queue_.empty();
        changed_.notify_all();
        changed_.wait(lock, [this] { return closed_ || !queue_.empty(); });
        if (queue_.empty()) {
            return false;
        }
        taken.swap(queue_);
    }
    for (const cv::Mat& capture : taken) {
        recorder_.Add(capture);
    }
    return true;
}

void LiveStitch::Work()
{
    try {
        while (TakeQueued()) {
            bool measuring = false;
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                measuring = measuring_;
            }
            // A failed Update leaves the session spent; Finish reports why.
            if (session_ && measuring && recorder_.Count() > 1) {
                session_->Update(listener_.get(), 0, 100);
            }
        }
    } catch (...) {
        const std::lock_guard<std::mutex> lock(mutex_);
        failure_ = std::current_exception();
    }
    changed_.notify_all();
}

std::vector<std::size_t> LiveStitch::PageOrder() const
{
    std::vector<std::size_t> order(positions_.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [this](std::size_t a, std::size_t b) { return positions_[a] < positions_[b]; });
    return order;
}

Cli::StitchOutcome LiveStitch::Finish(Cli::ConsoleListener& listener)
{
    IImageProvider& captures = recorder_.Store().Provider();
    if (!inPageOrder_) {
        const std::vector<std::size_t> order = PageOrder();
        recorder_.PutInPageOrder(order);
        ReorderedProvider inOrder(captures, order);
        return Cli::StitchCaptures(options_, inOrder, listener);
    }
    if (!session_ || captures.Count() == 1) {
        return Cli::StitchCaptures(options_, captures, listener);
    }
    listener_->Replay(listener);
    Cli::StitchOutcome outcome;
    outcome.result =
        Cli::RunStitch(listener, [&](cv::Mat& result) { return session_->Finish(result, &listener, 0, 100, true); });
    outcome.translations = session_->GetTranslations();
    return outcome;
}

}  // namespace CaptureTool
}  // namespace ZOLT
