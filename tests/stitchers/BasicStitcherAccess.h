#pragma once

// Reaches the basic stitcher's private sizing step and recorded state: the placement of
// capture 0 is checked on its own where the worked values fix it.

#include <ZOLT/Stitchers.h>

namespace ZOLT {
namespace Stitching {

template <>
struct TestAccess<BasicStitcher> {
    static bool CalcResultImage(BasicStitcher& stitcher, cv::Rect& placement, cv::Size& resultSize)
    {
        return stitcher.CalcResultImage(placement, resultSize);
    }

    static const std::shared_ptr<cv::Size>& FirstCaptureSize(const BasicStitcher& stitcher)
    {
        return stitcher.firstCaptureSize_;
    }

    static const std::shared_ptr<ITranslationDetector>& Detector(const BasicStitcher& stitcher)
    {
        return stitcher.detector_;
    }

    static void CropSourceImage(BasicStitcher& stitcher, cv::Mat& image, int index, const cv::Rect& placement)
    {
        stitcher.CropSourceImage(image, index, placement);
    }
};

}  // namespace Stitching
}  // namespace ZOLT
