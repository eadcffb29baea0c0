// The page stitcher: measure every pair on what moved, find the scrolling area, then compose the
// page capture by capture.

#include <ZOLT/PageStitcher.h>

#include "core/Diagnostics.h"
#include "core/ListenerReports.h"
#include "page/CaptureWindow.h"
#include "page/PageCanvas.h"
#include "page/PixelRoles.h"
#include "page/ScrollMeasurement.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <mutex>
#include <thread>

namespace ZOLT {
namespace Stitching {

namespace {

using Codes = IStitcherListener;

/// A pair whose translation explains less than this share of its changed pixels is reported as
/// a weak correlation.
constexpr double kWeakMatch = 0.9;

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

/// The scrolling area: where anything ever changed from one capture to the next. Outside it
/// the window stayed the same throughout (toolbars, status bars, fixed bars across the page);
/// a series in which nothing changed is all page.
cv::Rect ScrollingArea(const std::vector<Page::ScrollMeasurement>& measurements, const cv::Size& size)
{
    cv::Rect area;
    for (const Page::ScrollMeasurement& measurement : measurements) {
        area = area.empty() ? measurement.changedArea : area | measurement.changedArea;
    }
    return area.empty() ? cv::Rect(cv::Point(0, 0), size) : area;
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

/// Composes the page capture by capture, holding a few captures at a time. False when the
/// listener asked to stop.
bool Compose(IImageProvider& provider, const cv::Size& size, const cv::Rect& box,
             const std::vector<cv::Point>& positions, StepProgress& progress, cv::Mat& stitched)
{
    const Page::PageLayout layout(size, box, positions);
    Page::PageCanvas canvas(layout, CV_8UC4);
    Page::CaptureWindow window(provider, layout, positions);
    for (std::size_t index = 0; index < positions.size(); ++index) {
        const cv::Mat roles = window.Roles(index);
        canvas.AddFrame(window.At(index), index);
        canvas.AddPage(window.At(index), roles, index);
        if (!progress.Step()) {
            return false;
        }
    }
    stitched = canvas.Finish();
    return true;
}

}  // namespace

PageStitcher::PageStitcher(const StitcherParameters& parameters) : parameters_(parameters)
{
}

PageStitcher::~PageStitcher() = default;

std::vector<Translation> PageStitcher::GetTranslations() const
{
    return translations_;
}

bool PageStitcher::Stitch(IImageProvider& provider, cv::Mat& result, IStitcherListener* listener, int progressStart,
                          int progressEnd, bool reportCompletion)
{
    const std::size_t count = provider.Count();
    if (count == 0) {
        ReportError(listener, Codes::NoImages);
        return ReportCompletion(listener, reportCompletion, false);
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
            ReportError(listener, Codes::Cancelled);
            return ReportCompletion(listener, reportCompletion, false);
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
            ReportError(listener, Codes::Cancelled);
            return ReportCompletion(listener, reportCompletion, false);
        }
        result = stitched;
        translations_ = std::move(translations);
    } catch (const Page::CaptureRefused& refused) {
        Diagnostics::ErrorLine(refused.what());
        return ReportCompletion(listener, reportCompletion, false);
    }
    return ReportCompletion(listener, reportCompletion, true);
}

}  // namespace Stitching
}  // namespace ZOLT
