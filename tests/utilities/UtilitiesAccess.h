#pragma once

// Reaches the private clearing steps of Utilities, tested on their own because the sloped cut
// is built from them.

#include <ZOLT/Utilities.h>

namespace ZOLT {
namespace Stitching {

template <>
struct TestAccess<Utilities> {
    static void MakeColumnTransparent(cv::Mat& image, const cv::Point& point, bool towardStart)
    {
        Utilities::MakeColumnTransparent(image, point, towardStart);
    }

    static void MakeRowTransparent(cv::Mat& image, const cv::Point& point, bool towardStart)
    {
        Utilities::MakeRowTransparent(image, point, towardStart);
    }
};

}  // namespace Stitching
}  // namespace ZOLT
