#pragma once

// The pair correlation as first written, step by step on full complex spectra, kept here as the
// reference that the library's faster correlation must reproduce exactly.

#include <ZOLT/Core.h>

#include <opencv2/core.hpp>

namespace ZOLT {
namespace Testing {

/// The unscaled correlation surface of two captures for the given direction, and the padded
/// transform size in `size`.
cv::Mat DirectCorrelationSurface(const cv::Mat& first, const cv::Mat& second, int direction, cv::Size& size);

/// The highest element of a surface (first maximum on ties) and the translation it stands for.
struct DirectPeak {
    double value = 0.0;
    int position[2] = {0, 0};
    Stitching::Translation translation;
};

DirectPeak HighestPeak(const cv::Mat& surface, const cv::Size& size, int direction);

/// Primary translation, and the alternative the second-highest element gives.
struct DirectDetection {
    DirectPeak primary;
    DirectPeak second;
    Stitching::Translation alternative;
};

DirectDetection DirectDetectWithAlternative(const cv::Mat& first, const cv::Mat& second, int direction);

}  // namespace Testing
}  // namespace ZOLT
