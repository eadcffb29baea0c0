#pragma once

// Reaches the smart stitcher's private steps: the region search, the widening of the region to
// the capture edges, the framing, and the state a stitch leaves behind.

#include <ZOLT/Stitchers.h>

namespace ZOLT {
namespace Stitching {

template <>
struct TestAccess<SmartStitcher> {
    static cv::Rect FindRegion(const SmartStitcher& stitcher, const cv::Mat& first, const cv::Mat& last)
    {
        return stitcher.FindRegionWithDifferences(first, last);
    }

    static cv::Rect Widen(const SmartStitcher& stitcher, const cv::Rect& region, const cv::Size& captureSize)
    {
        return stitcher.WidenRegionToEdges(region, captureSize);
    }

    static cv::Mat Frame(const SmartStitcher& stitcher, const cv::Mat& first, const cv::Mat& stitched,
                         const cv::Rect& region, int scaleFactor)
    {
        return stitcher.StitchImages(first, stitched, region, scaleFactor);
    }

    static std::shared_ptr<BasicStitcher> InnerStitcher(const SmartStitcher& stitcher)
    {
        return stitcher.innerStitcher_;
    }
};

}  // namespace Stitching
}  // namespace ZOLT
