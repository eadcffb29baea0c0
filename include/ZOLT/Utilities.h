#pragma once

// Static image operations shared by the stitchers, the preview and the capture stores.

#include <ZOLT/Core.h>

#include <mutex>
#include <random>
#include <string>

namespace ZOLT {
namespace Stitching {

class ZOLT_STITCHING_API Utilities {
public:
    Utilities() = delete;
    Utilities& operator=(const Utilities&) { return *this; }
    Utilities& operator=(Utilities&&) noexcept { return *this; }

    /// Makes transparent, in place, the half of `capture`'s overlap with the previous capture
    /// that the previous capture already shows; only the width and height of `rectangle` are read.
    static void CropCaptureImage(cv::Mat& capture, const Translation& translation, const cv::Rect& rectangle);
    /// Clears every column of `image` from the line through `first` and `second` to its top
    /// (`towardStart` true) or bottom; a vertical or horizontal line clears a whole band.
    static void ClipCorner(cv::Mat& image, const cv::Point& first, const cv::Point& second, bool towardStart);
    /// Copies `source` into the part (rows, cols) of `target` wherever its alpha is not 0; a
    /// source without an alpha channel is copied whole.
    static void BlendImages(const cv::Mat& source, cv::Mat& target, const cv::Range& rows, const cv::Range& cols);
    /// One minus the mean absolute grey difference over 255: 1 for identical grey images.
    static double CalculateSimilarity(const cv::Mat& first, const cv::Mat& second);
    /// `length` characters drawn uniformly from digits and ASCII letters.
    static std::string GenerateRandomAlphanumericString(unsigned int length);

private:
    static void MakeColumnTransparent(cv::Mat& image, const cv::Point& point, bool towardStart);
    static void MakeRowTransparent(cv::Mat& image, const cv::Point& point, bool towardStart);

    static const std::string ALPHANUMERIC_CHARSET;
    static std::mt19937 RANDOM_ENGINE;
    static std::mutex RANDOM_ENGINE_MUTEX;
};

}  // namespace Stitching
}  // namespace ZOLT
