// PhaseCorrelationTranslationDetector, one pair: the constructor, the pair operations, the
// private steps, and the Implementation steps they run on. Detection over a whole provider is in
// SequenceDetection.cpp.

#include <ZOLT/Detection.h>

#include "core/Diagnostics.h"
#include "detection/PairCorrelator.h"

#include <opencv2/imgproc.hpp>

namespace ZOLT {
namespace Stitching {

namespace {

bool SearchesRows(int direction)
{
    return direction == 0 || direction == 2;
}
bool SearchesCols(int direction)
{
    return direction == 1 || direction == 2;
}

/// A searched axis is padded to at least twice its length, so the correlation along it is linear
/// rather than circular; the other only to a size the transform handles fast.
cv::Size PaddedSize(const cv::Size& image, int direction)
{
    return cv::Size(cv::getOptimalDFTSize(SearchesCols(direction) ? 2 * image.width : image.width),
                    cv::getOptimalDFTSize(SearchesRows(direction) ? 2 * image.height : image.height));
}

/// The other half of every row of the normalised spectrum, as a CV_32FC1 matrix of the padded size.
cv::Mat RightHalf(const cv::Mat& normalised)
{
    return normalised.reshape(1).colRange(normalised.cols, 2 * normalised.cols);
}

/// Sets everything of `padded` outside `inner` to 0.
void ZeroAround(cv::Mat& padded, const cv::Rect& inner)
{
    padded.rowRange(0, inner.y).setTo(cv::Scalar(0));
    padded.rowRange(inner.br().y, padded.rows).setTo(cv::Scalar(0));
    cv::Mat band = padded.rowRange(inner.y, inner.br().y);
    band.colRange(0, inner.x).setTo(cv::Scalar(0));
    band.colRange(inner.br().x, padded.cols).setTo(cv::Scalar(0));
}

}  // namespace

PhaseCorrelationTranslationDetector::PhaseCorrelationTranslationDetector(const StitcherParameters& parameters)
    : parameters_(parameters), implementation_(std::make_shared<Implementation>())
{
}

PhaseCorrelationTranslationDetector::~PhaseCorrelationTranslationDetector() = default;

Translation PhaseCorrelationTranslationDetector::DetectTranslation(const cv::Mat& first, const cv::Mat& second,
                                                                   IStitcherListener* listener)
{
    return implementation_->Correlate(parameters_, first, second, nullptr, listener, nullptr);
}

Translation PhaseCorrelationTranslationDetector::DetectTranslationWithAlternative(const cv::Mat& first,
                                                                                  const cv::Mat& second,
                                                                                  Translation& alternative,
                                                                                  IStitcherListener* listener)
{
    return implementation_->Correlate(parameters_, first, second, &alternative, listener, nullptr);
}

cv::Mat PhaseCorrelationTranslationDetector::CalculateCorrelationMatrix(const cv::Mat& first, const cv::Mat& second,
                                                                        cv::Size& size) const
{
    const WorkspacePool::Lease workspace = implementation_->Workspaces().Acquire();
    const cv::Mat surface =
        implementation_->Surface(parameters_.direction, first, second, size, *workspace, nullptr, nullptr);
    // The surface lies in the padded image's buffer, which now belongs to the caller.
    workspace->padded = cv::Mat();
    workspace->paddingClean = false;
    return surface;
}

bool PhaseCorrelationTranslationDetector::PerformDFT(const cv::Mat& image, cv::Mat& spectrum, cv::Size& size) const
{
    const WorkspacePool::Lease workspace = implementation_->Workspaces().Acquire();
    PackedSpectrum packed;
    if (!implementation_->Transform(parameters_.direction, image, *workspace, packed, false, size, nullptr)) {
        return false;
    }
    spectrum = Unpack(packed);
    return true;
}

bool PhaseCorrelationTranslationDetector::PerformIDFT(const cv::Mat& spectrum, cv::Mat& surface) const
{
    return InverseTransform(spectrum, surface, nullptr);
}

Translation PhaseCorrelationTranslationDetector::ConvertFrequencyCoordinatesToTranslation(const int (&peak)[2],
                                                                                          const cv::Size& size) const
{
    return PeakTranslation(peak, size, parameters_.direction);
}

// --- PhaseCorrelationTranslationDetector::Implementation --------------------------------------

Translation PhaseCorrelationTranslationDetector::Implementation::Correlate(const StitcherParameters& parameters,
                                                                           const cv::Mat& first, const cv::Mat& second,
                                                                           Translation* alternative,
                                                                           IStitcherListener* listener,
                                                                           const SequencePair* sequence)
{
    const WorkspacePool::Lease workspace = workspaces_.Acquire();
    cv::Size size(0, 0);
    cv::Mat surface = Surface(parameters.direction, first, second, size, *workspace, sequence, listener);
    if (surface.empty()) {
        Diagnostics::ErrorLine(listener, "Failed to create correlation matrix.");
        return Translation(0, 0);
    }

    double peakValue = 0.0;
    int peak[2] = {0, 0};
    cv::minMaxIdx(surface, nullptr, &peakValue, nullptr, peak);
    if (listener != nullptr && parameters.minimumPeakValue > peakValue) {
        listener->OnWarning(IStitcherListener::WeakCorrelation);
    }
    const Translation primary = PeakTranslation(peak, size, parameters.direction);
    if (alternative == nullptr) {
        return primary;
    }
    *alternative = primary;

    // Only the peak element is removed; its neighbours may well be the runner-up.
    surface.at<float>(peak[0], peak[1]) = 0.0F;
    double secondValue = 0.0;
    int secondPeak[2] = {0, 0};
    cv::minMaxIdx(surface, nullptr, &secondValue, nullptr, secondPeak);
    if (secondValue > 0.5 * peakValue) {
        *alternative = PeakTranslation(secondPeak, size, parameters.direction);
    }
    return primary;
}

cv::Mat PhaseCorrelationTranslationDetector::Implementation::Surface(int direction, const cv::Mat& first,
                                                                     const cv::Mat& second, cv::Size& size,
                                                                     Workspace& workspace, const SequencePair* sequence,
                                                                     IStitcherListener* listener) const
{
    cv::cvtColor(first, workspace.firstGrey, cv::COLOR_RGBA2GRAY, 0);
    cv::cvtColor(second, workspace.secondGrey, cv::COLOR_RGBA2GRAY, 0);

    // The first spectrum goes into the half of the normalised spectrum that the inverse
    // transform does not read, the second one over the padded image.
    UseLargeBufferAllocator(workspace.normalised);
    workspace.normalised.create(PaddedSize(workspace.firstGrey.size(), direction), CV_32FC2);
    PackedSpectrum firstSpectrum;
    PackedSpectrum secondSpectrum;
    firstSpectrum.packed = RightHalf(workspace.normalised);
    const std::size_t firstIndex = sequence != nullptr ? sequence->first : 0;
    if (!SpectrumOf(direction, workspace.firstGrey, workspace, false, sequence, firstIndex, firstSpectrum, listener) ||
        !SpectrumOf(direction, workspace.secondGrey, workspace, true, sequence, firstIndex + 1, secondSpectrum,
                    listener)) {
        Diagnostics::ErrorLine(listener, "Error: Failed to perform DFT.");
        return cv::Mat();
    }
    if (firstSpectrum.size != secondSpectrum.size) {
        CV_Error(cv::Error::StsUnmatchedSizes, "The padded sizes of the two captures differ.");
    }

    // Cross-power spectrum, zero guard and normalisation in one pass.
    NormaliseCrossPower(firstSpectrum, secondSpectrum, workspace.normalised);
    firstSpectrum = PackedSpectrum();
    secondSpectrum = PackedSpectrum();

    // The surface goes over the padded image, whose contents were last needed by the pass above.
    workspace.paddingClean = false;
    cv::Mat surface = workspace.padded;
    if (!InverseTransform(workspace.normalised, surface, listener)) {
        Diagnostics::ErrorLine(listener, "Error: Failed to perform IDFT.");
        return cv::Mat();
    }
    workspace.padded = surface;
    size = workspace.normalised.size();
    return surface;
}

bool PhaseCorrelationTranslationDetector::Implementation::SpectrumOf(int direction, const cv::Mat& grey,
                                                                     Workspace& workspace, bool inPlace,
                                                                     const SequencePair* sequence, std::size_t index,
                                                                     PackedSpectrum& spectrum,
                                                                     IStitcherListener* listener) const
{
    if (sequence != nullptr) {
        return sequence->store.Get(
            index,
            [this, direction, &grey, &workspace, listener](PackedSpectrum& shared) {
                cv::Size sharedSize;
                return Transform(direction, grey, workspace, shared, false, sharedSize, listener);
            },
            spectrum);
    }
    cv::Size size;
    return Transform(direction, grey, workspace, spectrum, inPlace, size, listener);
}

bool PhaseCorrelationTranslationDetector::Implementation::Transform(int direction, const cv::Mat& image,
                                                                    Workspace& workspace, PackedSpectrum& spectrum,
                                                                    bool inPlace, cv::Size& size,
                                                                    IStitcherListener* listener) const
{
    size = PaddedSize(image.size(), direction);
    spectrum.size = size;

    // The image goes in the middle. The zeros around it are written only when the buffer is new
    // or held something else there.
    const cv::Rect centre((size.width - image.cols) / 2, (size.height - image.rows) / 2, image.cols, image.rows);
    cv::Mat& padded = workspace.padded;
    if (padded.size() != size || padded.type() != CV_32FC1) {
        UseLargeBufferAllocator(padded);
        padded.create(size, CV_32FC1);
        workspace.paddingClean = false;
    }
    if (!workspace.paddingClean || workspace.placed != centre) {
        ZeroAround(padded, centre);
        workspace.placed = centre;
        workspace.paddingClean = true;
    }
    cv::Mat view = padded(centre);
    image.convertTo(view, CV_32F);

    // Rows below the image are zero, so their row transforms can be skipped; a single column
    // cannot be told so.
    const int nonzeroRows = size.width > 1 && centre.br().y < size.height ? centre.br().y : 0;
    if (size.width == 1 || !RowSumsAreExact(image)) {
        cv::Mat full;
        cv::dft(padded, full, cv::DFT_COMPLEX_OUTPUT, 0);
        TakeEdgeColumns(full, spectrum);
    } else {
        TransformEdgeColumns(image, centre, spectrum);
    }
    if (size.width == 1) {
        spectrum.packed = cv::Mat();
    } else if (inPlace) {
        workspace.paddingClean = false;
        cv::dft(padded, padded, 0, nonzeroRows);
        spectrum.packed = padded;
    } else {
        cv::dft(padded, spectrum.packed, 0, nonzeroRows);
    }
    if ((size.width > 1 && spectrum.packed.empty()) || spectrum.firstColumn.empty()) {
        Diagnostics::ErrorLine(listener, "Error: PerformDFT failed.");
        return false;
    }
    return true;
}

bool InverseTransform(const cv::Mat& spectrum, cv::Mat& surface, IStitcherListener* listener)
{
    // Unscaled on purpose: minimumPeakValue is compared against these values. Of a full complex
    // spectrum the transform reads columns 0 to width / 2 only (the rest would mirror them).
    cv::dft(spectrum, surface, cv::DFT_INVERSE | cv::DFT_REAL_OUTPUT, 0);
    if (surface.empty()) {
        Diagnostics::ErrorLine(listener, "Error: PerformIDFT failed.");
        return false;
    }
    return true;
}

Translation PeakTranslation(const int (&peak)[2], const cv::Size& size, int direction)
{
    int rows = 0;
    int cols = 0;
    if (SearchesRows(direction)) {
        rows = peak[0] >= size.height / 2 ? size.height - peak[0] : -peak[0];
    }
    if (SearchesCols(direction)) {
        cols = peak[1] >= size.width / 2 ? size.width - peak[1] : -peak[1];
    }
    return Translation(rows, cols);
}

}  // namespace Stitching
}  // namespace ZOLT
