#pragma once

// Reaches the private steps of the library's classes, which are tested on their own where the
// design fixes their worked values. The classes name this struct as a friend.

#include <ZOLT/Stitching.h>

namespace ZOLT {
namespace Stitching {

struct TestAccess {
    // --- PhaseCorrelationTranslationDetector ---
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
