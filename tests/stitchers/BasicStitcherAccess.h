#pragma once

// Reaches the basic stitcher's private sizing step, whose worked values fix the canvas.

#include <ZOLT/Stitchers.h>

namespace ZOLT {
namespace Stitching {

template <>
struct TestAccess<BasicStitcher> {
    static bool CalcResultImage(BasicStitcher& stitcher, cv::Rect& placement, cv::Size& resultSize)
    {
        return stitcher.CalcResultImage(placement, resultSize);
    }
};

}  // namespace Stitching
}  // namespace ZOLT
