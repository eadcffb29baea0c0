#include <ZOLT/Common/ImageUtilities.h>

#include <cstdlib>

namespace ZOLT {
namespace Common {

unsigned int ImageUtilities::ScalarDiff(const cv::Scalar_<unsigned char>& a, const cv::Scalar_<unsigned char>& b)
{
    unsigned int sum = 0;
    for (int channel = 0; channel < 4; ++channel) {
        sum += static_cast<unsigned int>(std::abs(static_cast<int>(a[channel]) - static_cast<int>(b[channel])));
    }
    return sum;
}

bool ImageUtilities::PointWithinMat(const cv::Mat& image, cv::Point position)
{
    return position.x >= 0 && position.x < image.cols && position.y >= 0 && position.y < image.rows;
}

}  // namespace Common
}  // namespace ZOLT
