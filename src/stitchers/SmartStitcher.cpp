// SmartStitcher, the stitch itself: constructors, Stitch, StitchSeveralCaptures,
// WidenRegionToEdges; the region search and the framing are in DifferenceRegion.cpp.

#include <ZOLT/Stitchers.h>

#include "core/ListenerReports.h"
#include "stitchers/CroppingProvider.h"

#include <cmath>
#include <cstdint>
#include <utility>

namespace ZOLT {
namespace Stitching {

namespace {

/// The positions at which region search, cropping and the inner stitch end; whatever is left of
/// the caller's range belongs to the framing.
struct ProgressMarks {
    int regionDone;
    int cropDone;
    int stitchDone;
};

/// Nearest integer with halves going away from zero, so a span of 10 still gives cropping 1.
std::int64_t ShareOf(double span, double fraction)
{
    return static_cast<std::int64_t>(std::round(span * fraction));
}

/// The shares are worked out in double and added in 64 bits, so that no range can overflow;
/// together they take less than the span, so every mark lies within the caller's range.
ProgressMarks SplitProgress(int progressStart, int progressEnd)
{
    const double span = static_cast<double>(progressEnd) - static_cast<double>(progressStart);
    const std::int64_t regionDone = progressStart + ShareOf(span, 0.2);
    const std::int64_t cropDone = regionDone + ShareOf(span, 0.05);
    const std::int64_t stitchDone = cropDone + ShareOf(span, 0.7);
    return ProgressMarks{static_cast<int>(regionDone), static_cast<int>(cropDone), static_cast<int>(stitchDone)};
}

/// The region search and the framing read whole bytes into a four-byte colour.
bool IsSupportedCapture(const cv::Mat& capture)
{
    return !capture.empty() && capture.depth() == CV_8U && capture.channels() <= 4;
}

bool Fail(IStitcherListener* listener, bool reportCompletion)
{
    return ReportCompletion(listener, reportCompletion, false);
}

bool Cancel(IStitcherListener* listener, bool reportCompletion)
{
    ReportError(listener, IStitcherListener::Cancelled);
    return Fail(listener, reportCompletion);
}

bool FailWithoutCaptures(IStitcherListener* listener, bool reportCompletion)
{
    ReportError(listener, IStitcherListener::NoImages);
    return Fail(listener, reportCompletion);
}

/// One capture is its own result; the result shares the capture's pixels.
bool StitchSingleCapture(IImageProvider& provider, cv::Mat& result, IStitcherListener* listener, int progressEnd,
                         bool reportCompletion)
{
    result = *provider.GetImageAt(0);
    return ReportSingleCapture(listener, progressEnd, reportCompletion);
}

/// Cuts every crop once and lets it go, so that a capture the region does not fit fails at the
/// cropping stage; only the inner stitch holds crops for longer.
void CutEveryCrop(IImageProvider& crops)
{
    for (std::size_t index = 0; index < crops.Count(); ++index) {
        crops.GetImageAt(index);
    }
}

}  // namespace

SmartStitcher::SmartStitcher(std::shared_ptr<ITranslationDetector> detector, const StitcherParameters& parameters,
                             int scaleFactor)
    : scaleFactor_(scaleFactor), detector_(std::move(detector)), parameters_(parameters)
{
}

SmartStitcher::SmartStitcher(const SmartStitcher& other) = default;

SmartStitcher::~SmartStitcher() = default;

bool SmartStitcher::Stitch(IImageProvider& provider, cv::Mat& result, IStitcherListener* listener, int progressStart,
                           int progressEnd, bool reportCompletion)
{
    const std::size_t count = provider.Count();
    if (count == 0) {
        return FailWithoutCaptures(listener, reportCompletion);
    }
    if (count == 1) {
        return StitchSingleCapture(provider, result, listener, progressEnd, reportCompletion);
    }
    return StitchSeveralCaptures(provider, result, listener, progressStart, progressEnd, reportCompletion);
}

std::vector<Translation> SmartStitcher::GetTranslations() const
{
    return translations_;
}

bool SmartStitcher::StitchSeveralCaptures(IImageProvider& provider, cv::Mat& result, IStitcherListener* listener,
                                          int progressStart, int progressEnd, bool reportCompletion)
{
    const cv::Mat first = *provider.GetImageAt(0);
    cv::Mat last = *provider.GetImageAt(provider.Count() - 1);
    // Turned away before any work: the region search and the framing read these two byte by
    // byte. No error code fits and this stitcher writes no line of its own, so the failed
    // completion is the whole report.
    if (!IsSupportedCapture(first) || !IsSupportedCapture(last)) {
        return Fail(listener, reportCompletion);
    }
    innerStitcher_ = std::make_shared<BasicStitcher>(detector_, parameters_);

    const ProgressMarks marks = SplitProgress(progressStart, progressEnd);
    const int regionDone = marks.regionDone;
    const int cropDone = marks.cropDone;
    const int stitchDone = marks.stitchDone;

    cv::Rect region = FindRegionWithDifferences(first, last);
    // Only the first capture is needed again, for the framing.
    last.release();
    if (!ReportProgress(listener, regionDone)) {
        return Cancel(listener, reportCompletion);
    }
    region = WidenRegionToEdges(region, first.size());
    // The crops are cut when the inner stitcher reads them, so that no capture is held longer.
    CroppingProvider crops(provider, region);
    CutEveryCrop(crops);
    if (!ReportProgress(listener, cropDone)) {
        return Cancel(listener, reportCompletion);
    }

    cv::Mat stitched;
    if (!innerStitcher_->Stitch(crops, stitched, listener, cropDone, stitchDone, false)) {
        return Fail(listener, reportCompletion);
    }
    translations_ = innerStitcher_->GetTranslations();
    if (!ReportProgress(listener, stitchDone)) {
        return Cancel(listener, reportCompletion);
    }

    // With nothing left outside the region there are no surroundings to put back.
    result = region.size() == first.size() ? stitched : StitchImages(first, stitched, region, scaleFactor_);
    if (listener != nullptr && reportCompletion) {
        listener->OnProgress(progressEnd);
        listener->OnComplete(true);
    }
    return true;
}

cv::Rect SmartStitcher::WidenRegionToEdges(cv::Rect region, const cv::Size& captureSize) const
{
    // Taken in 64 bits so that an oversized border width or scale factor cannot overflow.
    const std::int64_t threshold = static_cast<std::int64_t>(parameters_.minimumBorderWidth) * scaleFactor_;
    const auto absorbed = [threshold](int gap) { return 0 < gap && gap < threshold; };

    // Both far gaps are measured on the region as found, before either near side moves.
    const int rightGap = captureSize.width - region.width - region.x;
    const int bottomGap = captureSize.height - region.height - region.y;
    if (absorbed(region.x)) {
        region.width += region.x;
        region.x = 0;
    }
    if (absorbed(region.y)) {
        region.height += region.y;
        region.y = 0;
    }
    if (absorbed(rightGap)) {
        region.width += rightGap;
    }
    if (absorbed(bottomGap)) {
        region.height += bottomGap;
    }
    return region;
}

}  // namespace Stitching
}  // namespace ZOLT
