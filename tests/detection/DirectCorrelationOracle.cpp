#include "DirectCorrelationOracle.h"

#include <opencv2/imgproc.hpp>

#include <cfloat>

namespace ZOLT {
namespace Testing {

namespace {

bool SearchesRows(int direction)
{
    return direction == 0 || direction == 2;
}
bool SearchesCols(int direction)
{
    return direction == 1 || direction == 2;
}

cv::Mat PaddedSpectrum(const cv::Mat& grey, int direction, cv::Size& size)
{
    const int width = cv::getOptimalDFTSize(SearchesCols(direction) ? 2 * grey.cols : grey.cols);
    const int height = cv::getOptimalDFTSize(SearchesRows(direction) ? 2 * grey.rows : grey.rows);
    size = cv::Size(width, height);
    cv::Mat padded(height, width, CV_32FC1, cv::Scalar(0));
    cv::Mat centre = padded(cv::Rect((width - grey.cols) / 2, (height - grey.rows) / 2, grey.cols, grey.rows));
    grey.convertTo(centre, CV_32F);
    cv::dft(padded, padded, cv::DFT_COMPLEX_OUTPUT, 0);
    return padded;
}

Stitching::Translation ToTranslation(const int (&peak)[2], const cv::Size& size, int direction)
{
    int rows = 0;
    int cols = 0;
    if (SearchesRows(direction)) {
        rows = peak[0] >= size.height / 2 ? size.height - peak[0] : -peak[0];
    }
    if (SearchesCols(direction)) {
        cols = peak[1] >= size.width / 2 ? size.width - peak[1] : -peak[1];
    }
    return Stitching::Translation(rows, cols);
}

}  // namespace

cv::Mat DirectCorrelationSurface(const cv::Mat& first, const cv::Mat& second, int direction, cv::Size& size)
{
    cv::Mat firstGrey;
    cv::Mat secondGrey;
    cv::cvtColor(first, firstGrey, cv::COLOR_RGBA2GRAY, 0);
    cv::cvtColor(second, secondGrey, cv::COLOR_RGBA2GRAY, 0);
    cv::Size secondSize;
    const cv::Mat firstSpectrum = PaddedSpectrum(firstGrey, direction, size);
    const cv::Mat secondSpectrum = PaddedSpectrum(secondGrey, direction, secondSize);

    cv::Mat crossPower;
    cv::mulSpectrums(firstSpectrum, secondSpectrum, crossPower, 0, true);
    cv::Mat components = crossPower.reshape(1);
    const cv::Mat zeroComponents = cv::abs(components) == 0;
    components.setTo(cv::Scalar(DBL_EPSILON), zeroComponents);
    cv::divide(crossPower, cv::abs(crossPower), crossPower, 1.0, -1);

    cv::Mat surface;
    cv::dft(crossPower, surface, cv::DFT_INVERSE | cv::DFT_REAL_OUTPUT, 0);
    return surface;
}

DirectPeak HighestPeak(const cv::Mat& surface, const cv::Size& size, int direction)
{
    DirectPeak peak;
    cv::minMaxIdx(surface, nullptr, &peak.value, nullptr, peak.position);
    peak.translation = ToTranslation(peak.position, size, direction);
    return peak;
}

DirectDetection DirectDetectWithAlternative(const cv::Mat& first, const cv::Mat& second, int direction)
{
    cv::Size size;
    cv::Mat surface = DirectCorrelationSurface(first, second, direction, size);
    DirectDetection detection;
    detection.primary = HighestPeak(surface, size, direction);
    surface.at<float>(detection.primary.position[0], detection.primary.position[1]) = 0.0F;
    detection.second = HighestPeak(surface, size, direction);
    detection.alternative = detection.second.value > 0.5 * detection.primary.value ? detection.second.translation
                                                                                   : detection.primary.translation;
    return detection;
}

}  // namespace Testing
}  // namespace ZOLT
