// Phase correlation of one pair of captures.

#include <ZOLT/Detection.h>

#include "core/Diagnostics.h"

#include <opencv2/imgproc.hpp>

#include <cfloat>

namespace ZOLT {
namespace Stitching {

namespace {

bool SearchesRows(int direction) { return direction == 0 || direction == 2; }
bool SearchesCols(int direction) { return direction == 1 || direction == 2; }

}  // namespace

PhaseCorrelationTranslationDetector::PhaseCorrelationTranslationDetector(const StitcherParameters& parameters)
    : parameters_(parameters)
{
}

PhaseCorrelationTranslationDetector::~PhaseCorrelationTranslationDetector() = default;

Translation PhaseCorrelationTranslationDetector::DetectTranslation(const cv::Mat& first, const cv::Mat& second,
                                                                   IStitcherListener* listener)
{
    cv::Size size(0, 0);
    const cv::Mat surface = CalculateCorrelationMatrix(first, second, size);
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
    return ConvertFrequencyCoordinatesToTranslation(peak, size);
}

cv::Mat PhaseCorrelationTranslationDetector::CalculateCorrelationMatrix(const cv::Mat& first, const cv::Mat& second,
                                                                        cv::Size& size) const
{
    cv::Mat firstGrey;
    cv::Mat secondGrey;
    cv::cvtColor(first, firstGrey, cv::COLOR_RGBA2GRAY, 0);
    cv::cvtColor(second, secondGrey, cv::COLOR_RGBA2GRAY, 0);

    cv::Mat firstSpectrum;
    cv::Mat secondSpectrum;
    cv::Size firstSize;
    cv::Size secondSize;
    if (!PerformDFT(firstGrey, firstSpectrum, firstSize) || !PerformDFT(secondGrey, secondSpectrum, secondSize)) {
        Diagnostics::ErrorLine("Error: Failed to perform DFT.");
        return cv::Mat();
    }
    firstGrey = cv::Mat();
    secondGrey = cv::Mat();

    cv::Mat crossPower;
    cv::mulSpectrums(firstSpectrum, secondSpectrum, crossPower, 0, true);
    firstSpectrum = cv::Mat();
    secondSpectrum = cv::Mat();

    // Each real and imaginary part becomes its sign; exact zeros are lifted first so that the
    // division below never divides by zero (they become +1).
    cv::Mat components = crossPower.reshape(1);
    const cv::Mat zeroComponents = cv::abs(components) == 0;
    components.setTo(cv::Scalar(DBL_EPSILON), zeroComponents);
    cv::divide(crossPower, cv::abs(crossPower), crossPower, 1.0, -1);

    cv::Mat surface;
    if (!PerformIDFT(crossPower, surface)) {
        Diagnostics::ErrorLine("Error: Failed to perform IDFT.");
        return cv::Mat();
    }
    crossPower = cv::Mat();
    size = firstSize;
    return surface;
}

bool PhaseCorrelationTranslationDetector::PerformDFT(const cv::Mat& image, cv::Mat& spectrum, cv::Size& size) const
{
    // A searched axis is padded to at least twice its length, so the correlation along it is
    // linear rather than circular.
    const int width = cv::getOptimalDFTSize(SearchesCols(parameters_.direction) ? 2 * image.cols : image.cols);
    const int height = cv::getOptimalDFTSize(SearchesRows(parameters_.direction) ? 2 * image.rows : image.rows);
    size = cv::Size(width, height);

    cv::Mat padded(height, width, CV_32FC1, cv::Scalar(0));
    const int top = (height - image.rows) / 2;
    const int left = (width - image.cols) / 2;
    cv::Mat centre = padded(cv::Rect(left, top, image.cols, image.rows));
    image.convertTo(centre, CV_32F);

    cv::dft(padded, padded, cv::DFT_COMPLEX_OUTPUT, 0);
    if (padded.empty()) {
        Diagnostics::ErrorLine("Error: PerformDFT failed.");
        return false;
    }
    spectrum = padded;
    return true;
}

bool PhaseCorrelationTranslationDetector::PerformIDFT(const cv::Mat& spectrum, cv::Mat& surface) const
{
    // Unscaled on purpose: minimumPeakValue is compared against these values.
    cv::Mat inverse;
    cv::dft(spectrum, inverse, cv::DFT_INVERSE | cv::DFT_REAL_OUTPUT, 0);
    if (inverse.empty()) {
        Diagnostics::ErrorLine("Error: PerformIDFT failed.");
        return false;
    }
    surface = inverse;
    return true;
}

Translation PhaseCorrelationTranslationDetector::ConvertFrequencyCoordinatesToTranslation(const int (&peak)[2],
                                                                                          const cv::Size& size) const
{
    int rows = 0;
    int cols = 0;
    if (SearchesRows(parameters_.direction)) {
        rows = peak[0] >= size.height / 2 ? size.height - peak[0] : -peak[0];
    }
    if (SearchesCols(parameters_.direction)) {
        cols = peak[1] >= size.width / 2 ? size.width - peak[1] : -peak[1];
    }
    return Translation(rows, cols);
}

}  // namespace Stitching
}  // namespace ZOLT
