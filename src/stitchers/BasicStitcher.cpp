// The basic stitcher: detect every translation, size one canvas, lay each capture over it.

#include <ZOLT/Stitchers.h>
#include <ZOLT/Utilities.h>

#include "core/Diagnostics.h"
#include "core/ListenerReports.h"
#include "core/LargeBuffers.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace ZOLT {
namespace Stitching {

namespace {

using Codes = IStitcherListener;

const char kNotEightBit[] = "Error: Only 8-bit captures can be stitched.";

/// Only 8-bit samples can be stitched: the canvas, the clearing and the alpha mask assume them.
bool IsEightBit(const cv::Mat& capture, IStitcherListener* listener)
{
    if (capture.depth() != CV_8U) {
        Diagnostics::ErrorLine(listener, kNotEightBit);
        return false;
    }
    return true;
}

/// The end of the detection stage: nine tenths of the range, truncated toward zero. Worked out
/// in double so that no range can overflow; the sum always lies between the two ends.
int DetectionEnd(int progressStart, int progressEnd)
{
    const double share = std::trunc((static_cast<double>(progressEnd) - progressStart) * 0.9);
    return static_cast<int>(progressStart + share);
}

/// Zero translations of one stitch: how many, and the longest run of consecutive ones.
class ZeroTranslationTally {
public:
    void CountZero()
    {
        ++zeros_;
        ++run_;
        longestRun_ = std::max(longestRun_, run_);
    }

    void EndRun() { run_ = 0; }

    std::uint64_t Zeros() const { return zeros_; }
    std::uint64_t LongestRun() const { return longestRun_; }

private:
    std::uint64_t zeros_ = 0;
    std::uint64_t run_ = 0;
    std::uint64_t longestRun_ = 0;
};

/// Lays capture `capture` over `canvas` with its top-left corner at (row, col). Returns false
/// only for a capture that cannot be stitched at all; a capture of another size than capture 0
/// is left out by the blending, which says so, and the stitch goes on.
bool LayCapture(const cv::Mat& capture, const Translation& translation, const cv::Rect& placement, cv::Mat& canvas,
                int row, int col, IStitcherListener* listener)
{
    if (!IsEightBit(capture, listener)) {
        return false;
    }
    const cv::Range rows(row, row + placement.height);
    const cv::Range cols(col, col + placement.width);
    if (capture.channels() < 4) {
        // Without alpha nothing can be made transparent: the later capture covers the whole
        // overlap, which shows the same content.
        Utilities::BlendImages(capture, canvas, rows, cols);
        return true;
    }
    // The covered part is cleared on a private copy: the host's capture stays as it was.
    cv::Mat working = LargeCopy(capture);
    Utilities::CropCaptureImage(working, translation, placement);
    Utilities::BlendImages(working, canvas, rows, cols);
    return true;
}

}  // namespace

BasicStitcher::BasicStitcher(std::shared_ptr<ITranslationDetector> detector, const StitcherParameters& parameters)
    : detector_(std::move(detector)), parameters_(parameters)
{
}

BasicStitcher::BasicStitcher(const BasicStitcher& other)
    : IStitcher(other),
      detector_(other.detector_),
      parameters_(other.parameters_),
      translations_(other.translations_),
      firstCaptureSize_(other.firstCaptureSize_),
      firstCaptureType_(other.firstCaptureType_)
{
}

BasicStitcher::~BasicStitcher() = default;

std::vector<Translation> BasicStitcher::GetTranslations() const
{
    return translations_;
}

bool BasicStitcher::Stitch(IImageProvider& provider, cv::Mat& result, IStitcherListener* listener, int progressStart,
                           int progressEnd, bool reportCompletion)
{
    const std::size_t count = provider.Count();
    if (count == 0) {
        ReportError(listener, Codes::NoImages);
        return ReportCompletion(listener, reportCompletion, false);
    }

    {
        const std::shared_ptr<cv::Mat> first = provider.GetImageAt(0);
        if (!IsEightBit(*first, listener)) {
            return ReportCompletion(listener, reportCompletion, false);
        }
        if (count == 1) {
            result = *first;
            return ReportSingleCapture(listener, progressEnd, reportCompletion);
        }
        firstCaptureSize_ = std::make_shared<cv::Size>(first->size());
        firstCaptureType_ = first->type();
    }

    if (!detector_) {
        translations_.clear();
        Diagnostics::ErrorLine(listener, "Error: No translation detector to stitch with.");
        return ReportCompletion(listener, reportCompletion, false);
    }
    const int split = DetectionEnd(progressStart, progressEnd);
    translations_ = detector_->DetectTranslation(provider, listener, progressStart, split);
    if (translations_.size() != count - 1) {
        // Empty after a failure or a cancel (the detector reported that one); any other length
        // would not fit the captures.
        translations_.clear();
        Diagnostics::ErrorLine(listener, "Error: Failed to detect translations.");
        return ReportCompletion(listener, reportCompletion, false);
    }

    cv::Mat canvas;
    if (!BuildResultImage(provider, canvas, listener, split, progressEnd)) {
        Diagnostics::ErrorLine(listener, "Error: Failed to build the Result image.");
        return ReportCompletion(listener, reportCompletion, false);
    }
    result = canvas;
    if (reportCompletion && listener != nullptr) {
        listener->OnProgress(progressEnd);
    }
    return ReportCompletion(listener, reportCompletion, true);
}

bool BasicStitcher::BuildResultImage(IImageProvider& provider, cv::Mat& result, IStitcherListener* listener,
                                     int progressStart, int progressEnd)
{
    cv::Mat canvas;
    cv::Rect placement;
    const IStitcherListener::StitcherErrorCodes code = SizeResultImage(canvas, placement, listener);
    if (code != Codes::NoError) {
        Diagnostics::ErrorLine(listener, "Error: Failed to size the resulting image.");
        ReportError(listener, code);
        return false;
    }

    const std::size_t n = translations_.size();
    const float step =
        static_cast<float>(static_cast<std::int64_t>(progressEnd) - progressStart) / static_cast<float>(n);
    ZeroTranslationTally zeros;
    bool cancelled = false;
    bool diagonalSeen = false;

    // Capture 0 goes in whole, transparent pixels included. The placement keeps the row
    // offset in x and the column offset in y.
    provider.GetImageAt(0)->copyTo(canvas(cv::Rect(placement.y, placement.x, placement.width, placement.height)));
    int row = placement.x;
    int col = placement.y;

    for (std::size_t i = 0; i < n; ++i) {
        if (listener != nullptr) {
            const int position = static_cast<int>(static_cast<float>(i) * step + static_cast<float>(progressStart));
            if (!listener->OnProgress(position)) {
                cancelled = true;
                break;
            }
        }
        const Translation& translation = translations_[i];
        row -= translation.GetRows();
        col -= translation.GetCols();
        if (translation == Translation(0, 0)) {
            // Nothing new: the capture is not even read.
            zeros.CountZero();
            continue;
        }
        diagonalSeen = diagonalSeen || (translation.GetRows() != 0 && translation.GetCols() != 0);
        zeros.EndRun();
        if (!LayCapture(*provider.GetImageAt(i + 1), translation, placement, canvas, row, col, listener)) {
            return false;
        }
    }

    if (cancelled) {
        listener->OnError(Codes::Cancelled, false);
        return false;
    }
    result = canvas;
    if (listener == nullptr) {
        return true;
    }
    if (!listener->OnProgress(progressEnd)) {
        return false;
    }

    const float zeroShare = static_cast<float>(zeros.Zeros()) / static_cast<float>(n);
    if (zeroShare > static_cast<float>(parameters_.maxZeroTranslationsPercent) / 100.0f + 0.0001f) {
        listener->OnWarning(Codes::TooManyZeroTranslations);
    }
    if (zeros.LongestRun() > parameters_.maxConsecutiveZeroTranslations) {
        listener->OnWarning(Codes::TooManyConsecutiveZeroTranslations);
    }
    if (diagonalSeen) {
        listener->OnWarning(Codes::DiagonalTranslation);
    }
    return true;
}

bool BasicStitcher::CalcResultImage(cv::Rect& placement, cv::Size& resultSize, IStitcherListener* listener)
{
    if (translations_.empty() || !firstCaptureSize_) {
        Diagnostics::ErrorLine(listener, "Error: No translations in list.");
        return false;
    }
    // 64 bits: the accumulated positions of arbitrary translations must not overflow.
    const std::int64_t width = firstCaptureSize_->width;
    const std::int64_t height = firstCaptureSize_->height;
    std::int64_t row = 0;
    std::int64_t col = 0;
    std::int64_t top = 0;
    std::int64_t bottom = height;
    std::int64_t left = 0;
    std::int64_t right = width;
    for (const Translation& translation : translations_) {
        row -= translation.GetRows();
        col -= translation.GetCols();
        top = std::min(top, row);
        bottom = std::max(bottom, row + height);
        left = std::min(left, col);
        right = std::max(right, col + width);
    }

    const std::int64_t largest = std::numeric_limits<int>::max();
    if (right - left > largest || bottom - top > largest) {
        Diagnostics::ErrorLine(listener, "Error: The resulting image would be too large.");
        return false;
    }
    resultSize = cv::Size(static_cast<int>(right - left), static_cast<int>(bottom - top));
    placement =
        cv::Rect(static_cast<int>(-top), static_cast<int>(-left), static_cast<int>(width), static_cast<int>(height));
    return true;
}

IStitcherListener::StitcherErrorCodes BasicStitcher::SizeResultImage(cv::Mat& canvas, cv::Rect& placement,
                                                                     IStitcherListener* listener)
{
    cv::Size resultSize;
    if (!CalcResultImage(placement, resultSize, listener)) {
        return Codes::ResultSizingFailed;
    }
    canvas = LargeZeros(resultSize, firstCaptureType_);
    return Codes::NoError;
}

void BasicStitcher::CropSourceImage(cv::Mat& image, int index, const cv::Rect& placement)
{
    if (index < 0 || static_cast<std::size_t>(index) >= translations_.size()) {
        return;
    }
    Utilities::CropCaptureImage(image, translations_[static_cast<std::size_t>(index)], placement);
}

}  // namespace Stitching
}  // namespace ZOLT
