#pragma once

// Value types and component interfaces shared by every part of the library.

#include <ZOLT/Export.h>

#include <opencv2/core.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ZOLT {

/// An indexed sequence of captures, index 0 the oldest.
///
/// Captures are 8-bit four-channel matrices (channel 3 is alpha) handed out as shared matrices.
struct ZOLT_STITCHING_API IImageProvider {
    IImageProvider() = default;
    IImageProvider(const IImageProvider&) = default;
    IImageProvider& operator=(const IImageProvider&) = default;
    virtual ~IImageProvider();

    virtual std::size_t Count() = 0;
    virtual bool IsEmpty() = 0;
    /// The capture at `index`, which must be below Count().
    virtual std::shared_ptr<cv::Mat> GetImageAt(std::size_t index) = 0;
    /// Replaces the capture at `index`, which must be below Count().
    virtual void SetImageAt(std::size_t index, cv::Mat& image) = 0;
};

namespace Stitching {

/// Offset of one capture against the capture before it, in whole pixels.
///
/// Content at row y, column x of capture i is found at row y + rows, column x + cols of
/// capture i + 1: a window scrolled down (content moved up) gives a negative rows value.
class ZOLT_STITCHING_API Translation {
public:
    Translation() = default;
    Translation(int rows, int cols) : rows_(rows), cols_(cols) {}
    Translation(const Translation&) = default;
    Translation& operator=(const Translation&) = default;
    ~Translation() = default;

    int GetRows() const { return rows_; }
    int GetCols() const { return cols_; }

    bool operator==(const Translation& other) const { return rows_ == other.rows_ && cols_ == other.cols_; }
    bool operator!=(const Translation& other) const { return !(*this == other); }

private:
    std::int32_t rows_ = 0;
    std::int32_t cols_ = 0;
};

/// The tuning values handed to every detector and stitcher; each keeps its own copy.
struct ZOLT_STITCHING_API StitcherParameters {
    StitcherParameters() = default;
    StitcherParameters(const StitcherParameters&) = default;
    StitcherParameters& operator=(const StitcherParameters&) = default;
    StitcherParameters& operator=(StitcherParameters&&) = default;

    /// Axes that detection measures: 0 rows only, 1 columns only, 2 both; anything else neither.
    std::int32_t direction = 2;
    /// Detection over a provider may replace a pair's result by its second-highest peak.
    bool useAlternativePeak = false;
    /// Most pair correlations running at once; values below 1 count as 1.
    std::int32_t maxThreads = 1;
    /// Share of zero translations, in percent, above which a stitch warns.
    std::uint64_t maxZeroTranslationsPercent = 30;
    /// Longest tolerated run of consecutive zero translations.
    std::uint64_t maxConsecutiveZeroTranslations = 2;
    /// Smallest correlation peak accepted without a WeakCorrelation warning (unscaled surface).
    double minimumPeakValue = 50000.0;
    /// Colour difference (sum over four bytes) above which the smart stitcher counts a pixel as changed.
    std::int32_t differenceThreshold = 200;
    /// Gap, before the smart stitcher's scale factor, below which a margin joins the stitched region.
    std::int32_t minimumBorderWidth = 20;
};

/// Receives the reports of a long operation and can stop it.
///
/// OnProgress may arrive on detection worker threads (one at a time), OnWarning with
/// WeakCorrelation and OnMessage from several workers at once; every other call arrives on the
/// calling thread.
struct ZOLT_STITCHING_API IStitcherListener {
    enum StitcherErrorCodes : std::int32_t {
        NoError = 0,
        NoImages = 1,
        ResultSizingFailed = 2,
        Cancelled = 4,
        BorderApplicationFailed = 5,
    };

    enum StitcherWarningCodes : std::int32_t {
        DiagonalTranslation = 1,
        TooManyZeroTranslations = 2,
        TooManyConsecutiveZeroTranslations = 3,
        WeakCorrelation = 4,
    };

    enum MessageSeverity : std::int32_t {
        /// A failure or refusal: what the operation could not do, and where it stopped.
        ErrorMessage = 1,
        /// The work goes on in another way (no borders were found, so none are put back).
        NoticeMessage = 2,
    };

    IStitcherListener() = default;
    IStitcherListener(const IStitcherListener&) = default;
    IStitcherListener& operator=(const IStitcherListener&) = default;
    virtual ~IStitcherListener();

    /// Returns false to stop the operation.
    virtual bool OnProgress(int position) = 0;
    virtual void OnComplete(bool success) = 0;
    /// The answer decides the outcome only when `recoverable` is true.
    virtual bool OnError(StitcherErrorCodes code, bool recoverable) = 0;
    virtual void OnWarning(StitcherWarningCodes code) = 0;
    /// One of the library's own lines on what the operation refused or left out. The default
    /// writes it as the library does without a listener: error lines to the standard error
    /// stream, notices to the standard output stream, each ended and flushed.
    virtual void OnMessage(MessageSeverity severity, const std::string& text);
};

/// Joins a provider's captures into one image.
struct ZOLT_STITCHING_API IStitcher {
    IStitcher() = default;
    IStitcher(const IStitcher&) = default;
    IStitcher& operator=(const IStitcher&) = default;
    virtual ~IStitcher();

    /// Stitches the captures of `provider` into `result`, reporting progress within
    /// [progressStart, progressEnd]; reports OnComplete once, last, when `reportCompletion`.
    virtual bool Stitch(IImageProvider& provider, cv::Mat& result, IStitcherListener* listener,
                        int progressStart, int progressEnd, bool reportCompletion) = 0;
    /// Translations of the last stitch: element i is capture i + 1 against capture i.
    virtual std::vector<Translation> GetTranslations() const = 0;
};

/// Measures how far each capture moved against the capture before it.
struct ZOLT_STITCHING_API ITranslationDetector {
    ITranslationDetector() = default;
    ITranslationDetector(const ITranslationDetector&) = default;
    ITranslationDetector& operator=(const ITranslationDetector&) = default;
    virtual ~ITranslationDetector();

    /// Count() - 1 translations, or an empty list on failure or cancellation.
    virtual std::vector<Translation> DetectTranslation(IImageProvider& provider, IStitcherListener* listener,
                                                       int progressStart, int progressEnd) = 0;
    /// Translation of `current` against `previous`.
    virtual Translation DetectTranslation(const cv::Mat& previous, const cv::Mat& current,
                                          IStitcherListener* listener) = 0;
};

}  // namespace Stitching
}  // namespace ZOLT
