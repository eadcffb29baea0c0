// Pair correlation that also yields the translation of the second-highest peak.

#include <ZOLT/Detection.h>

#include "core/Diagnostics.h"
#include "detection/CorrelationBuffers.h"

namespace ZOLT {
namespace Stitching {

Translation PhaseCorrelationTranslationDetector::DetectTranslationWithAlternative(const cv::Mat& first,
                                                                                  const cv::Mat& second,
                                                                                  Translation& alternative,
                                                                                  IStitcherListener* listener)
{
    const WorkspacePool::Lease workspace = workspaces_->Acquire();
    cv::Size size(0, 0);
    cv::Mat surface = CalculateCorrelationMatrix(first, second, size, *workspace);
    if (surface.empty()) {
        Diagnostics::ErrorLine("Failed to create correlation matrix.");
        return Translation(0, 0);
    }

    double peakValue = 0.0;
    int peak[2] = {0, 0};
    cv::minMaxIdx(surface, nullptr, &peakValue, nullptr, peak);
    if (listener != nullptr && parameters_.minimumPeakValue > peakValue) {
        listener->OnWarning(IStitcherListener::WeakCorrelation);
    }
    const Translation primary = ConvertFrequencyCoordinatesToTranslation(peak, size);
    alternative = primary;

    // Only the peak element is removed; its neighbours may well be the runner-up.
    surface.at<float>(peak[0], peak[1]) = 0.0F;
    double secondValue = 0.0;
    int secondPeak[2] = {0, 0};
    cv::minMaxIdx(surface, nullptr, &secondValue, nullptr, secondPeak);
    const Translation runnerUp = ConvertFrequencyCoordinatesToTranslation(secondPeak, size);
    if (secondValue > 0.5 * peakValue) {
        alternative = runnerUp;
    }
    return primary;
}

}  // namespace Stitching
}  // namespace ZOLT
