#pragma once

// Translation detection by phase correlation.

#include <ZOLT/Core.h>

#include <memory>

namespace ZOLT {
namespace Stitching {

/// Finds the translation between captures by phase correlation of their grey images.
///
/// Both captures of a pair must be 8-bit images with 3 or 4 channels and of the same size.
/// Captures of different sizes, or with 1 or 2 channels, make OpenCV raise cv::Exception,
/// which passes to the caller unchanged. The detector keeps no results between calls, so one
/// detector may correlate any number of pairs at once on different threads. It does keep the
/// transform buffers of its last pairs, so that the next pair need not allocate them again.
class ZOLT_STITCHING_API PhaseCorrelationTranslationDetector : public ITranslationDetector {
public:
    explicit PhaseCorrelationTranslationDetector(const StitcherParameters& parameters);
    ~PhaseCorrelationTranslationDetector() override;

    /// Translations of every capture against the one before it, pairs correlated on up to
    /// `maxThreads` worker threads. An exception raised for a pair is rethrown here after every
    /// worker has been joined.
    std::vector<Translation> DetectTranslation(IImageProvider& provider, IStitcherListener* listener, int progressStart,
                                               int progressEnd) override;
    /// Translation of `second` against `first`; (0, 0) when the correlation cannot be made.
    Translation DetectTranslation(const cv::Mat& first, const cv::Mat& second, IStitcherListener* listener) override;

protected:
    /// Like the pair DetectTranslation, and also hands out the translation of the second-highest
    /// peak in `alternative` when that peak is more than half as high as the first.
    virtual Translation DetectTranslationWithAlternative(const cv::Mat& first, const cv::Mat& second,
                                                         Translation& alternative, IStitcherListener* listener);

private:
    /// The pair correlation in buffers kept from pair to pair; shared with copies of this detector.
    class Implementation;

    cv::Mat CalculateCorrelationMatrix(const cv::Mat& first, const cv::Mat& second, cv::Size& size) const;
    bool PerformDFT(const cv::Mat& image, cv::Mat& spectrum, cv::Size& size) const;
    bool PerformIDFT(const cv::Mat& spectrum, cv::Mat& surface) const;
    Translation ConvertFrequencyCoordinatesToTranslation(const int (&peak)[2], const cv::Size& size) const;

    StitcherParameters parameters_;
    std::shared_ptr<Implementation> implementation_;
};

}  // namespace Stitching
}  // namespace ZOLT
