#pragma once

// Stitchers: the basic stitcher and the smart stitcher that stitches only the changing region.

#include <ZOLT/Core.h>
#include <ZOLT/Providers.h>

namespace ZOLT {
namespace Stitching {

/// Detects the translation of every capture, sizes a transparent canvas for all of them and
/// lays each capture over it, after clearing the half of the overlap the previous one shows.
///
/// Captures must be 8-bit with four channels (channel 3 alpha) and share capture 0's size;
/// the host's captures are never altered. Other depths make Stitch fail with an error line.
class ZOLT_STITCHING_API BasicStitcher : public IStitcher {
public:
    BasicStitcher(std::shared_ptr<ITranslationDetector> detector, const StitcherParameters& parameters);
    /// Shares the detector and the recorded capture size with `other`.
    BasicStitcher(const BasicStitcher& other);
    BasicStitcher& operator=(const BasicStitcher&) = delete;
    ~BasicStitcher() override;

    bool Stitch(IImageProvider& provider, cv::Mat& result, IStitcherListener* listener,
                int progressStart, int progressEnd, bool reportCompletion) override;
    std::vector<Translation> GetTranslations() const override;

protected:
    /// Builds the stitched image from the detected translations.
    virtual bool BuildResultImage(IImageProvider& provider, cv::Mat& result, IStitcherListener* listener,
                                  int progressStart, int progressEnd);

private:
    bool CalcResultImage(cv::Rect& placement, cv::Size& resultSize, IStitcherListener* listener);
    IStitcherListener::StitcherErrorCodes SizeResultImage(cv::Mat& canvas, cv::Rect& placement,
                                                          IStitcherListener* listener);
    void CropSourceImage(cv::Mat& image, int index, const cv::Rect& placement);

    std::shared_ptr<ITranslationDetector> detector_;
    StitcherParameters parameters_;
    std::vector<Translation> translations_;
    std::shared_ptr<cv::Size> firstCaptureSize_;
    int firstCaptureType_ = 0;
};

/// Stitches only the rectangle in which the first and the last capture differ and frames the
/// result with the first capture's unchanging surroundings (window frame, toolbars).
///
/// The first and the last capture must be 8-bit with one to four channels; otherwise Stitch
/// fails up front (OnComplete(false) when asked) without touching the captures. The stitcher
/// writes no diagnostic line of its own; the inner basic stitcher and its detector write theirs.
class ZOLT_STITCHING_API SmartStitcher : public IStitcher {
public:
    /// `scaleFactor` multiplies pixel distances (the margin threshold and the colour-sampling
    /// rows of the framing); use 1 or more.
    SmartStitcher(std::shared_ptr<ITranslationDetector> detector, const StitcherParameters& parameters,
                  int scaleFactor);
    SmartStitcher(const SmartStitcher& other);
    SmartStitcher& operator=(const SmartStitcher&) = delete;
    ~SmartStitcher() override;

    bool Stitch(IImageProvider& provider, cv::Mat& result, IStitcherListener* listener,
                int progressStart, int progressEnd, bool reportCompletion) override;
    /// Translations between the cropped captures, from the last stitch whose inner stitch succeeded.
    std::vector<Translation> GetTranslations() const override;

private:
    cv::Rect FindRegionWithDifferences(const cv::Mat& first, const cv::Mat& last) const;
    /// Absorbs into `region` every gap to a capture edge narrower than the margin threshold.
    cv::Rect WidenRegionToEdges(cv::Rect region, const cv::Size& captureSize) const;
    bool StitchSeveralCaptures(IImageProvider& provider, cv::Mat& result, IStitcherListener* listener,
                               int progressStart, int progressEnd, bool reportCompletion);
    cv::Mat StitchImages(const cv::Mat& first, cv::Mat stitched, const cv::Rect& region, int scaleFactor) const;

    int scaleFactor_;
    std::shared_ptr<ITranslationDetector> detector_;
    std::shared_ptr<BasicStitcher> innerStitcher_;
    StitcherParameters parameters_;
    std::vector<Translation> translations_;
};

}  // namespace Stitching
}  // namespace ZOLT
