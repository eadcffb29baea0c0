#pragma once

// Reaches the detector's private steps, which are tested on their own where their values are
// fixed (peak conversion, padding). The library's classes befriend TestAccess<Class>.

#include <ZOLT/Detection.h>

namespace ZOLT {
namespace Stitching {

template <>
struct TestAccess<PhaseCorrelationTranslationDetector> {
    static Translation ConvertPeak(const PhaseCorrelationTranslationDetector& detector, int row, int col,
                                   cv::Size size)
    {
        const int peak[2] = {row, col};
        return detector.ConvertFrequencyCoordinatesToTranslation(peak, size);
    }

    static cv::Mat CorrelationSurface(const PhaseCorrelationTranslationDetector& detector, const cv::Mat& first,
                                      const cv::Mat& second, cv::Size& size)
    {
        return detector.CalculateCorrelationMatrix(first, second, size);
    }

    static bool PerformDFT(const PhaseCorrelationTranslationDetector& detector, const cv::Mat& grey,
                           cv::Mat& spectrum, cv::Size& size)
    {
        return detector.PerformDFT(grey, spectrum, size);
    }

    static Translation DetectWithAlternative(PhaseCorrelationTranslationDetector& detector, const cv::Mat& first,
                                             const cv::Mat& second, Translation& alternative,
                                             IStitcherListener* listener)
    {
        return detector.DetectTranslationWithAlternative(first, second, alternative, listener);
    }
};

}  // namespace Stitching
}  // namespace ZOLT
