#pragma once

// The pair correlation as first written, step by step on full complex spectra, kept here as the
// reference that the library's faster correlation must reproduce exactly.

#include <ZOLT/Core.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cfloat>

namespace ZOLT {
namespace Testing {

namespace Direct {

inline bool SearchesRows(int direction) { return direction == 0 || direction == 2; }
inline bool SearchesCols(int direction) { return direction == 1 || direction == 2; }

inline cv::Mat PaddedSpectrum(const cv::Mat& capture, int direction, cv::Size& size)
{
    cv::Mat grey;
    cv::cvtColor(capture, grey, cv::COLOR_RGBA2GRAY, 0);
    const int width = cv::getOptimalDFTSize(SearchesCols(direction) ? 2 * grey.cols : grey.cols);
    const int height = cv::getOptimalDFTSize(SearchesRows(direction) ? 2 * grey.rows : grey.rows);
    size = cv::Size(width, height);
    cv::Mat padded(height, width, CV_32FC1, cv::Scalar(0));
    cv::Mat centre = padded(cv::Rect((width - grey.cols) / 2, (height - grey.rows) / 2, grey.cols, grey.rows));
    grey.convertTo(centre, CV_32F);
    cv::dft(padded, padded, cv::DFT_COMPLEX_OUTPUT, 0);
    return padded;
}

/// The highest element of a surface (first maximum on ties) and the translation it stands for.
inline Stitching::Translation HighestPeak(const cv::Mat& surface, const cv::Size& size, int direction, double& value,
                                          int (&peak)[2])
{
    cv::minMaxIdx(surface, nullptr, &value, nullptr, peak);
    const int rows = peak[0] >= size.height / 2 ? size.height - peak[0] : -peak[0];
    const int cols = peak[1] >= size.width / 2 ? size.width - peak[1] : -peak[1];
    return Stitching::Translation(SearchesRows(direction) ? rows : 0, SearchesCols(direction) ? cols : 0);
}

}  // namespace Direct

/// Primary translation and its unscaled peak value, and the alternative the second-highest
/// element gives.
struct DirectDetection {
    Stitching::Translation primary;
    double peakValue = 0.0;
    Stitching::Translation alternative;
};

inline DirectDetection DirectDetectWithAlternative(const cv::Mat& first, const cv::Mat& second, int direction)
{
    cv::Size size;
    cv::Size secondSize;
    cv::Mat crossPower;
    cv::mulSpectrums(Direct::PaddedSpectrum(first, direction, size),
                     Direct::PaddedSpectrum(second, direction, secondSize), crossPower, 0, true);
    cv::Mat components = crossPower.reshape(1);
    const cv::Mat zeroComponents = cv::abs(components) == 0;
    components.setTo(cv::Scalar(DBL_EPSILON), zeroComponents);
    cv::divide(crossPower, cv::abs(crossPower), crossPower, 1.0, -1);
    cv::Mat surface;
    cv::dft(crossPower, surface, cv::DFT_INVERSE | cv::DFT_REAL_OUTPUT, 0);

    DirectDetection detection;
    int peak[2] = {0, 0};
    detection.primary = Direct::HighestPeak(surface, size, direction, detection.peakValue, peak);
    surface.at<float>(peak[0], peak[1]) = 0.0F;
    double secondValue = 0.0;
    const Stitching::Translation runnerUp = Direct::HighestPeak(surface, size, direction, secondValue, peak);
    detection.alternative = secondValue > 0.5 * detection.peakValue ? runnerUp : detection.primary;
    return detection;
}

}  // namespace Testing
}  // namespace ZOLT
