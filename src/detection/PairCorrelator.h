#pragma once

// The detector's pair correlation behind its public class: the steps that work in kept buffers
// and on packed spectra, and the pair step the sequence loop calls with the sequence's spectra.

#include "detection/CorrelationBuffers.h"
#include "detection/PackedSpectrum.h"

#include <ZOLT/Detection.h>

namespace ZOLT {
namespace Stitching {

/// The translation that an element of the correlation surface stands for, along the axes that
/// `direction` searches; the other axis stays 0.
Translation PeakTranslation(const int (&peak)[2], const cv::Size& size, int direction);

/// The unscaled inverse transform of a full complex spectrum; false when it gave nothing, with
/// an error line to `listener` (the console when null).
bool InverseTransform(const cv::Mat& spectrum, cv::Mat& surface, IStitcherListener* listener);

class PhaseCorrelationTranslationDetector::Implementation {
public:
    /// The pair step: the translation of the surface's highest peak, and in `alternative`, when
    /// one is asked for, that of the second-highest element when it is more than half as high.
    /// With `sequence`, both spectra come from (or are left in) the sequence's store.
    Translation Correlate(const StitcherParameters& parameters, const cv::Mat& first, const cv::Mat& second,
                          Translation* alternative, IStitcherListener* listener, const SequencePair* sequence);

    /// The correlation surface of a pair in `workspace`'s padded buffer, and its size in `size`;
    /// empty when a transform failed. Error lines go to `listener` (the console when null).
    cv::Mat Surface(int direction, const cv::Mat& first, const cv::Mat& second, cv::Size& size, Workspace& workspace,
                    const SequencePair* sequence, IStitcherListener* listener) const;

    /// The forward transform of a grey image padded to the size `direction` needs. In place, the
    /// packed spectrum is written over the workspace's padded buffer.
    bool Transform(int direction, const cv::Mat& image, Workspace& workspace, PackedSpectrum& spectrum, bool inPlace,
                   cv::Size& size, IStitcherListener* listener) const;

    WorkspacePool& Workspaces() { return workspaces_; }

private:
    bool SpectrumOf(int direction, const cv::Mat& grey, Workspace& workspace, bool inPlace,
                    const SequencePair* sequence, std::size_t index, PackedSpectrum& spectrum,
                    IStitcherListener* listener) const;

    WorkspacePool workspaces_;
};

}  // namespace Stitching
}  // namespace ZOLT
