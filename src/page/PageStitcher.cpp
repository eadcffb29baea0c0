// The page stitcher: measure every pair on what moved, find the scrolling area, then compose the
// page capture by capture.

#include <ZOLT/PageStitcher.h>

#include "core/Diagnostics.h"
#include "page/PageCanvas.h"
#include "page/PixelRoles.h"
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

/// A capture the page stitcher cannot use; Stitch reports it as one error line.
class CaptureRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A pair whose translation explains less than this share of its changed pixels is reported as
/// a weak correlation.
constexpr double kWeakMatch = 0.9;
/// Rows and columns with fewer moving pixels than this share of the busiest one are not part of
/// the scrolling area (a scrollbar thumb, a stray match in a toolbar).
constexpr double kPageLineShare = 0.01;

bool Complete(IStitcherListener* listener, bool reportCompletion, bool success)
{
    if (reportCompletion && listener != nullptr) {
        listener->OnComplete(success);
    }
    return success;
}

/// Capture `index` as 8-bit RGBA of capture 0's size.
cv::Mat LoadCapture(IImageProvider& provider, std::size_t index, const cv::Size& size)
{
    const std::shared_ptr<cv::Mat> capture = provider.GetImageAt(index);
    if (capture->depth() != CV_8U || (capture->channels() != 3 && capture->channels() != 4)) {
        throw CaptureRefused("Error: Only 8-bit captures with three or four channels can be stitched as a page.");
    }
    if (capture->size() != size) {
        throw CaptureRefused("Error: Every capture must have the first capture's size.");
    }
    if (capture->channels() == 4) {
        return *capture;
    }
    cv::Mat rgba;
    cv::cvtColor(*capture, rgba, cv::COLOR_RGB2RGBA);
    return rgba;
}

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

/// Measures every consecutive pair, on up to `threads` worker threads. The first exception of
/// any worker is rethrown here once every worker has finished.
std::vector<Page::ScrollMeasurement> MeasurePairs(IImageProvider& provider, const cv::Size& size, int direction,
                                                  int threads, StepProgress& progress)
{
    const std::size_t pairs = provider.Count() - 1;
    std::vector<Page::ScrollMeasurement> measurements(pairs);
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::exception_ptr failure;
    std::mutex failureMutex;
    const auto work = [&]() {
        try {
            for (std::size_t pair = next++; pair < pairs && !stop; pair = next++) {
                const cv::Mat previous = Grey(LoadCapture(provider, pair, size));
                const cv::Mat current = Grey(LoadCapture(provider, pair + 1, size));
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
    const std::size_t workers = std::min<std::size_t>(pairs, static_cast<std::size_t>(std::max(1, threads)));
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
    return measurements;
}

/// The span of a count vector's entries that reach the given share of its largest entry.
cv::Range BusySpan(const cv::Mat& counts)
{
    double largest = 0;
    cv::minMaxLoc(counts, nullptr, &largest);
    const int least = std::max(1, static_cast<int>(std::ceil(largest * kPageLineShare)));
    const int* value = counts.ptr<int>();
    const int length = static_cast<int>(counts.total());
    int first = 0;
    while (first < length && value[first] < least) {
        ++first;
    }
    int last = length;
    while (last > first && value[last - 1] < least) {
        --last;
    }
    return {first, last};
}

/// The scrolling area: the rows and columns in which pixels moved with the page. A series that
/// never moved is all page.
cv::Rect ScrollingArea(const std::vector<Page::ScrollMeasurement>& measurements, const cv::Size& size)
{
    cv::Mat perRow = cv::Mat::zeros(size.height, 1, CV_32S);
    cv::Mat perCol = cv::Mat::zeros(1, size.width, CV_32S);
    for (const Page::ScrollMeasurement& measurement : measurements) {
        perRow += measurement.movingPerRow;
        perCol += measurement.movingPerCol;
    }
    if (cv::countNonZero(perRow) == 0) {
        return {cv::Point(0, 0), size};
    }
    const cv::Range rows = BusySpan(perRow);
    const cv::Range cols = BusySpan(perCol);
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

/// Composes the page capture by capture, holding one capture and at most three grey images at a
/// time. False when the listener asked to stop.
bool Compose(IImageProvider& provider, const cv::Size& size, const cv::Rect& box, const std::vector<cv::Point>& positions,
             StepProgress& progress, cv::Mat& stitched)
{
    const Page::PageLayout layout(size, box, positions);
    Page::PageCanvas canvas(layout, CV_8UC4);
    const std::size_t count = positions.size();
    std::vector<cv::Mat> greys(count);
    cv::Mat suspects;
    for (std::size_t index = 0; index < count; ++index) {
        if (index >= 2) {
            greys[index - 2].release();
        }
        const cv::Mat capture = LoadCapture(provider, index, size);
        if (greys[index].empty()) {
            greys[index] = Grey(capture);
        }
        if (index + 1 < count) {
            greys[index + 1] = Grey(LoadCapture(provider, index + 1, size));
        }
        // Content at p here shows at p + (position here - position there) there.
        const auto neighbour = [&](std::size_t other) {
            return Page::Neighbour{greys[other](box), positions[index] - positions[other]};
        };
        const Page::Neighbour previous = index > 0 ? neighbour(index - 1) : Page::Neighbour{};
        const Page::Neighbour next = index + 1 < count ? neighbour(index + 1) : Page::Neighbour{};
        cv::Mat roles = Page::ClassifyPixels(greys[index](box), index > 0 ? &previous : nullptr,
                                             index + 1 < count ? &next : nullptr, cv::Mat(suspects), suspects);
        if (index == layout.LowCapture()) {
            Page::MarkNaturalElements(roles, layout.MainAxis(), Page::PageEnd::Low);
        }
        if (index == layout.HighCapture()) {
            Page::MarkNaturalElements(roles, layout.MainAxis(), Page::PageEnd::High);
        }
        canvas.AddFrame(capture, index);
        canvas.AddPage(capture, roles, index);
        if (!progress.Step()) {
            return false;
        }
    }
    stitched = canvas.Finish();
    return true;
}

}  // namespace

PageStitcher::PageStitcher(const StitcherParameters& parameters) : parameters_(parameters) {}

PageStitcher::~PageStitcher() = default;

std::vector<Translation> PageStitcher::GetTranslations() const
{
    return translations_;
}

bool PageStitcher::Stitch(IImageProvider& provider, cv::Mat& result, IStitcherListener* listener,
                          int progressStart, int progressEnd, bool reportCompletion)
{
    const std::size_t count = provider.Count();
    if (count == 0) {
        if (listener != nullptr) {
            listener->OnError(Codes::NoImages, false);
        }
        return Complete(listener, reportCompletion, false);
    }
    const int middle =
        static_cast<int>(progressStart + std::trunc((static_cast<double>(progressEnd) - progressStart) * 0.6));
    try {
        const cv::Size size = provider.GetImageAt(0)->size();
        StepProgress measuring(listener, progressStart, middle, count - 1);
        std::vector<Page::ScrollMeasurement> measurements =
            count > 1 ? MeasurePairs(provider, size, parameters_.direction, parameters_.maxThreads, measuring)
                      : std::vector<Page::ScrollMeasurement>{};
        if (measuring.Cancelled()) {
            listener->OnError(Codes::Cancelled, false);
            return Complete(listener, reportCompletion, false);
        }
        std::vector<Translation> translations;
        for (const Page::ScrollMeasurement& measurement : measurements) {
            translations.push_back(measurement.translation);
            if (listener != nullptr && measurement.matchedShare < kWeakMatch &&
                measurement.translation != Translation()) {
                listener->OnWarning(Codes::WeakCorrelation);
            }
        }
        const cv::Rect box = ScrollingArea(measurements, size);
        measurements.clear();

        StepProgress composing(listener, middle, progressEnd, count);
        cv::Mat stitched;
        if (!Compose(provider, size, box, ScrollPositions(translations), composing, stitched)) {
            listener->OnError(Codes::Cancelled, false);
            return Complete(listener, reportCompletion, false);
        }
        result = stitched;
        translations_ = std::move(translations);
    } catch (const CaptureRefused& refused) {
        Diagnostics::ErrorLine(refused.what());
        return Complete(listener, reportCompletion, false);
    }
    return Complete(listener, reportCompletion, true);
}

}  // namespace Stitching
}  // namespace ZOLT
