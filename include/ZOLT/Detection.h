#pragma once

// Translation detection by phase correlation.

#include <ZOLT/Core.h>

#include <memory>

namespace ZOLT {
namespace Stitching {

template <typename T>
struct TestAccess;
/// Internal: a spectrum in the compact form the correlation works with.
struct PackedSpectrum;

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
    std::vector<Translation> DetectTranslation(IImageProvider& provider, IStitcherListener* listener,
                                               int progressStart, int progressEnd) override;
    /// Translation of `second` against `first`; (0, 0) when the correlation cannot be made.
    Translation DetectTranslation(const cv::Mat& first, const cv::Mat& second, IStitcherListener* listener) override;

protected:
    /// Like the pair DetectTranslation, and also hands out the translation of the second-highest
    /// peak in `alternative` when that peak is more than half as high as the first.
    virtual Translation DetectTranslationWithAlternative(const cv::Mat& first, const cv::Mat& second,
                                                         Translation& alternative, IStitcherListener* listener);

private:
    template <typename>
    friend struct TestAccess;
    struct SequenceRun;
    struct Workspace;
    class WorkspacePool;

    cv::Mat CalculateCorrelationMatrix(const cv::Mat& first, const cv::Mat& second, cv::Size& size) const;
    bool PerformDFT(const cv::Mat& image, cv::Mat& spectrum, cv::Size& size) const;
    bool PerformIDFT(const cv::Mat& spectrum, cv::Mat& surface) const;
    Translation ConvertFrequencyCoordinatesToTranslation(const int (&peak)[2], const cv::Size& size) const;

    /// The steps above working in buffers that are kept from pair to pair, on spectra in packed
    /// form; SpectrumOf takes a capture's spectrum from the sequence being detected when it can.
    cv::Mat CalculateCorrelationMatrix(const cv::Mat& first, const cv::Mat& second, cv::Size& size,
                                       Workspace& workspace) const;
    bool SpectrumOf(const cv::Mat& capture, const cv::Mat& grey, Workspace& workspace, bool inPlace,
                    PackedSpectrum& spectrum) const;
    bool PerformDFT(const cv::Mat& image, Workspace& workspace, PackedSpectrum& spectrum, bool inPlace,
                    cv::Size& size) const;

    StitcherParameters parameters_;
    /// Idle transform buffers, shared with copies of this detector.
    std::shared_ptr<WorkspacePool> workspaces_;
};

}  // namespace Stitching
}  // namespace ZOLT
