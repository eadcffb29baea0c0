// The page stitcher: measure every pair on what moved, find the scrolling area, then compose the
// page capture by capture.

#include <ZOLT/PageStitcher.h>

#include "core/Diagnostics.h"
#include "core/ListenerReports.h"
#include "page/CaptureWindow.h"
#include "page/Composition.h"
#include "page/PageCanvas.h"
#include "page/ScrollMeasurement.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace ZOLT {
namespace Stitching {

namespace {

using Codes = IStitcherListener;

/// A pair whose translation matches less than this share of the tiles it overlaps in full is
/// reported as a weak correlation: a sticky head over a small overlap leaves more.
constexpr double kWeakMatch = 0.5;
/// Share of a whole stitch's progress range that measuring takes.
constexpr double kMeasuringShare = 0.6;
/// Captures a live session waits for before it composes ahead: the scrolling area is rarely
/// settled before.
constexpr std::size_t kLeastAhead = 4;

cv::Mat Grey(const cv::Mat& rgba)
{
    cv::Mat grey;
    cv::cvtColor(rgba, grey, cv::COLOR_RGBA2GRAY);
    return grey;
}

/// Reports progress over a fixed number of steps from any thread, one report at a time.
class StepProgress {
public:
    StepProgress(IStitcherListener* listener, int start, int end, std::size_t steps)
        : listener_(listener), start_(start), end_(end), steps_(std::max<std::size_t>(1, steps))
    {
    }

    /// One more step done; false once the listener asked to stop.
    bool Step()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++done_;
        if (listener_ != nullptr && !cancelled_) {
            const double share = static_cast<double>(done_) / static_cast<double>(steps_);
            const int position = static_cast<int>(start_ + std::trunc((static_cast<double>(end_) - start_) * share));
            cancelled_ = !listener_->OnProgress(position);
        }
        return !cancelled_;
    }

    bool Cancelled() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return cancelled_;
    }

private:
    IStitcherListener* listener_;
    int start_;
    int end_;
    std::size_t steps_;
    std::size_t done_ = 0;
    bool cancelled_ = false;
    mutable std::mutex mutex_;
};

/// Measures the pairs [first, last) (pair k is capture k + 1 against capture k) into
/// `measurements`, on up to `threads` worker threads. The first exception of any worker is
/// rethrown here once every worker has finished.
void MeasurePairs(IImageProvider& provider, const cv::Size& size, int direction, int threads, std::size_t first,
                  std::size_t last, StepProgress& progress, std::vector<Page::ScrollMeasurement>& measurements)
{
    measurements.resize(std::max(measurements.size(), last));
    std::atomic<std::size_t> next{first};
    std::atomic<bool> stop{false};
    std::exception_ptr failure;
    std::mutex failureMutex;
    const auto work = [&]() {
        try {
            for (std::size_t pair = next++; pair < last && !stop; pair = next++) {
                const cv::Mat previous = Grey(Page::LoadCapture(provider, pair, size));
                const cv::Mat current = Grey(Page::LoadCapture(provider, pair + 1, size));
                measurements[pair] = Page::MeasureScroll(previous, current, direction);
                if (!progress.Step()) {
                    stop = true;
                }
            }
        } catch (...) {
            std::lock_guard<std::mutex> lock(failureMutex);
            if (!failure) {
                failure = std::current_exception();
            }
            stop = true;
        }
    };
    const std::size_t workers = std::min<std::size_t>(last - first, static_cast<std::size_t>(std::max(1, threads)));
    std::vector<std::thread> running;
    for (std::size_t i = 1; i < workers; ++i) {
        try {
            running.emplace_back(work);
        } catch (...) {
            break;  // fewer threads than asked for: the calling thread does the rest
        }
    }
    work();
    for (std::thread& thread : running) {
        thread.join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

/// Narrows `span` at either end past a scrollbar: lines at the edge in which a quarter of the
/// changes or more did not follow the page, no more of them than a scrollbar is wide, and the
/// unchanging lines between them. More such lines are page (a sticky sidebar).
cv::Range TrimScrollbars(const cv::Mat& changed, const cv::Mat& moving, cv::Range span)
{
    constexpr int kWidestScrollbar = 24;
    const int* change = changed.ptr<int>();
    const int* move = moving.ptr<int>();
    const auto ownMotion = [&](int line) { return change[line] == 0 || 4 * move[line] < 3 * change[line]; };
    const auto trim = [&](int from, int step, int stop) {
        int lines = 0;
        int line = from;
        for (; line != stop && ownMotion(line); line += step) {
            lines += change[line] != 0;
        }
        return lines <= kWidestScrollbar ? line : from;
    };
    const int start = trim(span.start, +1, span.end);
    const int last = trim(span.end - 1, -1, start - 1);
    return {start, last + 1};
}

/// The scrolling area: where anything ever changed from one capture to the next (outside it the
/// window stayed the same throughout: toolbars, status bars, fixed bars across the page), less
/// a scrollbar at its edge, whose thumb changes but moves its own way. A series in which nothing
/// moved is all page.
cv::Rect ScrollingArea(const std::vector<Page::ScrollMeasurement>& measurements, const cv::Size& size)
{
    cv::Rect changed;
    cv::Mat changedPerRow = cv::Mat::zeros(size.height, 1, CV_32S);
    cv::Mat changedPerCol = cv::Mat::zeros(1, size.width, CV_32S);
    cv::Mat movingPerRow = changedPerRow.clone();
    cv::Mat movingPerCol = changedPerCol.clone();
    for (const Page::ScrollMeasurement& measurement : measurements) {
        changed = changed.empty() ? measurement.changedArea : changed | measurement.changedArea;
        if (!measurement.movingPerRow.empty()) {
            changedPerRow += measurement.changedPerRow;
            changedPerCol += measurement.changedPerCol;
            movingPerRow += measurement.movingPerRow;
            movingPerCol += measurement.movingPerCol;
        }
    }
    const cv::Range rows = TrimScrollbars(changedPerRow, movingPerRow, cv::Range(changed.y, changed.br().y));
    const cv::Range cols = TrimScrollbars(changedPerCol, movingPerCol, cv::Range(changed.x, changed.br().x));
    if (rows.empty() || cols.empty()) {
        return {cv::Point(0, 0), size};
    }
    return {cols.start, rows.start, cols.size(), rows.size()};
}

/// Scroll positions of every capture in page pixels, capture 0 at (0, 0).
std::vector<cv::Point> ScrollPositions(const std::vector<Translation>& translations)
{
    std::vector<cv::Point> positions{cv::Point(0, 0)};
    for (const Translation& translation : translations) {
        positions.push_back(positions.back() - cv::Point(translation.GetCols(), translation.GetRows()));
    }
    return positions;
}

/// The position in [start, end] at `share` of the way.
int PositionAt(int start, int end, double share)
{
    return static_cast<int>(start + std::trunc((static_cast<double>(end) - start) * share));
}

}  // namespace

class PageStitchSession::State {
public:
    State(const StitcherParameters& parameters, IImageProvider& provider)
        : parameters_(parameters), provider_(provider)
    {
    }

    std::size_t PendingPairs() { return provider_.Count() > 0 ? provider_.Count() - 1 - measurements_.size() : 0; }

    /// Measures the new captures; `ahead` ranks those whose neighbours have all arrived too.
    bool Update(IStitcherListener* listener, int progressStart, int progressEnd, bool ahead)
    {
        if (spent_) {
            return false;
        }
        const std::size_t count = provider_.Count();
        if (count == 0) {
            return true;
        }
        try {
            if (measurements_.empty()) {
                size_ = provider_.GetImageAt(0)->size();
            }
            const std::size_t first = measurements_.size();
            StepProgress measuring(listener, progressStart, progressEnd, count - 1 - first);
            if (count - 1 > first) {
                MeasurePairs(provider_, size_, parameters_.direction, parameters_.maxThreads, first, count - 1,
                             measuring, measurements_);
            }
            if (measuring.Cancelled()) {
                ReportError(listener, Codes::Cancelled);
                return Spend();
            }
            for (std::size_t pair = first; pair < measurements_.size(); ++pair) {
                const Page::ScrollMeasurement& measurement = measurements_[pair];
                if (listener != nullptr && measurement.matchedShare < kWeakMatch &&
                    measurement.translation != Translation()) {
                    listener->OnWarning(Codes::WeakCorrelation);
                }
            }
            if (ahead) {
                ComposeAhead();
            }
        } catch (const Page::CaptureRefused& refused) {
            Diagnostics::ErrorLine(listener, refused.what());
            return Spend();
        }
        return true;
    }

    std::vector<Translation> Translations() const
    {
        std::vector<Translation> translations;
        for (const Page::ScrollMeasurement& measurement : measurements_) {
            translations.push_back(measurement.translation);
        }
        return translations;
    }

    /// Measures what is left within [progressStart, middle], composes within [middle, progressEnd].
    bool Finish(cv::Mat& result, IStitcherListener* listener, int progressStart, int middle, int progressEnd)
    {
        const std::size_t count = provider_.Count();
        if (count == 0 && !spent_) {
            ReportError(listener, Codes::NoImages);
            return Spend();
        }
        if (!Update(listener, progressStart, middle, false)) {
            return false;
        }
        try {
            // A single capture never went through a measurement: check it here.
            const cv::Size size = provider_.GetImageAt(0)->size();
            const std::vector<cv::Point> positions = ScrollPositions(Translations());
            const cv::Rect box = ScrollingArea(measurements_, size);
            if (composition_ && composition_->Continues(box, positions)) {
                composition_->Advance(positions);
            } else {
                composition_ = std::make_unique<Page::Composition>(provider_, size, box, positions,
                                                                   parameters_.maxThreads, true);
            }
            StepProgress composing(listener, middle, progressEnd, count);
            cv::Mat stitched;
            const bool composed = composition_->Finish([&composing] { return composing.Step(); }, stitched);
            composition_.reset();
            if (!composed) {
                ReportError(listener, Codes::Cancelled);
                return Spend();
            }
            result = stitched;
        } catch (const Page::CaptureRefused& refused) {
            Diagnostics::ErrorLine(listener, refused.what());
            return Spend();
        }
        return true;
    }

private:
    bool Spend()
    {
        spent_ = true;
        composition_.reset();
        return false;
    }

    /// Ranks the captures in while more arrive, as long as they come in page order and the
    /// scrolling area stays; otherwise Finish starts over.
    void ComposeAhead()
    {
        if (provider_.Count() < kLeastAhead) {
            return;
        }
        const std::vector<cv::Point> positions = ScrollPositions(Translations());
        const cv::Rect box = ScrollingArea(measurements_, size_);
        if (composition_ && !composition_->Continues(box, positions)) {
            composition_.reset();
        }
        if (!composition_) {
            if (!Page::InPageOrder(positions)) {
                return;
            }
            composition_ =
                std::make_unique<Page::Composition>(provider_, size_, box, positions, parameters_.maxThreads, false);
        }
        composition_->Advance(positions);
    }

    const StitcherParameters parameters_;
    IImageProvider& provider_;
    cv::Size size_;
    std::vector<Page::ScrollMeasurement> measurements_;
    std::unique_ptr<Page::Composition> composition_;
    bool spent_ = false;
};

PageStitchSession::PageStitchSession(const StitcherParameters& parameters, IImageProvider& captures)
    : state_(std::make_unique<State>(parameters, captures))
{
}

PageStitchSession::~PageStitchSession() = default;

bool PageStitchSession::Update(IStitcherListener* listener, int progressStart, int progressEnd)
{
    return state_->Update(listener, progressStart, progressEnd, true);
}

std::vector<Translation> PageStitchSession::GetTranslations() const
{
    return state_->Translations();
}

bool PageStitchSession::Finish(cv::Mat& result, IStitcherListener* listener, int progressStart, int progressEnd,
                               bool reportCompletion)
{
    // Measuring takes the larger part of a whole stitch; what Update already did leaves it all to composing.
    const int middle =
        state_->PendingPairs() > 0 ? PositionAt(progressStart, progressEnd, kMeasuringShare) : progressStart;
    const bool done = state_->Finish(result, listener, progressStart, middle, progressEnd);
    return ReportCompletion(listener, reportCompletion, done);
}

PageStitcher::PageStitcher(const StitcherParameters& parameters) : parameters_(parameters)
{
}

PageStitcher::~PageStitcher() = default;

std::vector<Translation> PageStitcher::GetTranslations() const
{
    return translations_;
}

Translation PageStitcher::MeasurePair(const cv::Mat& previous, const cv::Mat& current, int direction)
{
    const auto grey = [](const cv::Mat& capture) {
        if (capture.depth() != CV_8U || (capture.channels() != 3 && capture.channels() != 4)) {
            throw std::invalid_argument("Only 8-bit captures with three or four channels can be measured.");
        }
        cv::Mat converted;
        cv::cvtColor(capture, converted, capture.channels() == 4 ? cv::COLOR_RGBA2GRAY : cv::COLOR_RGB2GRAY);
        return converted;
    };
    if (previous.size() != current.size() || previous.empty()) {
        throw std::invalid_argument("Both captures must be of the same, non-empty size.");
    }
    return Page::MeasureScroll(grey(previous), grey(current), direction).translation;
}

bool PageStitcher::Stitch(IImageProvider& provider, cv::Mat& result, IStitcherListener* listener, int progressStart,
                          int progressEnd, bool reportCompletion)
{
    PageStitchSession session(parameters_, provider);
    if (!session.Finish(result, listener, progressStart, progressEnd, reportCompletion)) {
        return false;
    }
    translations_ = session.GetTranslations();
    return true;
}

}  // namespace Stitching
}  // namespace ZOLT
