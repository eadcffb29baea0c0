#pragma once

#include <opencv2/core.hpp>

#if defined(_WIN32)
#  if defined(ZOLT_COMMON_EXPORTS)
#    define ZOLT_COMMON_API __declspec(dllexport)
#  else
#    define ZOLT_COMMON_API __declspec(dllimport)
#  endif
#else
#  define ZOLT_COMMON_API __attribute__((visibility("default")))
#endif

namespace ZOLT {
namespace Common {

/// Small pixel helpers shared by the ZOLT imaging libraries.
class ZOLT_COMMON_API ImageUtilities {
public:
    ImageUtilities() = delete;

    /// Sum of the absolute differences of the four bytes of two colours: 0 for equal colours,
    /// larger for colours further apart (at most 4 x 255).
    static unsigned int ScalarDiff(const cv::Scalar_<unsigned char>& a, const cv::Scalar_<unsigned char>& b);

    /// True exactly when 0 <= x < cols and 0 <= y < rows, so the pixel can be read directly.
    static bool PointWithinMat(const cv::Mat& image, cv::Point position);
};

}  // namespace Common
}  // namespace ZOLT
