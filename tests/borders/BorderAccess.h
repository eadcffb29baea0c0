#pragma once

// Reaches the border detection's private steps and saved strips, and makes the captures the
// border tests share.

#include <ZOLT/Borders.h>

#include "SyntheticCaptures.h"
#include "TestImages.h"

namespace ZOLT {
namespace Stitching {

template <>
struct TestAccess<BasicBorderDetection> {
    static bool FindContent(BasicBorderDetection& detection, IImageProvider& provider, cv::Range& rows, cv::Range& cols)
    {
        return detection.FindContent(provider, provider.GetImageAt(0)->size(), rows, cols);
    }

    static bool CheckNearestNeighbors(BasicBorderDetection& detection, const cv::Mat& difference, int row, int col,
                                      bool& isContent)
    {
        return detection.CheckNearestNeighbors(difference, row, col, isContent);
    }

};

}  // namespace Stitching

namespace Testing {

using BorderAccess = Stitching::TestAccess<Stitching::BasicBorderDetection>;

/// Opaque random pixels, so that any copy from the wrong place shows.
inline cv::Mat PatternCapture(cv::Size size, std::uint64_t seed = 7)
{
    cv::Mat capture = Noise(size, seed);
    capture.reshape(1, static_cast<int>(capture.total())).col(3).setTo(255);
    return capture;
}

/// `base` with the pixels of `box` set to the opaque grey level `level`.
inline cv::Mat WithBlock(const cv::Mat& base, const cv::Rect& box, int level)
{
    cv::Mat capture = base.clone();
    capture(box).setTo(cv::Scalar(level, level, level, 255));
    return capture;
}

/// `count` captures of `size`, identical outside `box`; inside it every pixel's grey level
/// alternates by 150 from one capture to the next over a fixed pattern.
inline std::vector<cv::Mat> FramedSeries(cv::Size size, const cv::Rect& box, int count = 2)
{
    const cv::Mat frame = PatternCapture(size);
    cv::Mat content(box.size(), CV_8UC4);
    cv::RNG(99).fill(content, cv::RNG::UNIFORM, cv::Scalar(0, 0, 0, 255), cv::Scalar(100, 100, 100, 256));
    std::vector<cv::Mat> captures;
    for (int i = 0; i < count; ++i) {
        captures.push_back(frame.clone());
        const cv::Mat part = captures.back()(box);
        cv::add(content, cv::Scalar(150, 150, 150, 0) * (i % 2), part);
    }
    return captures;
}

}  // namespace Testing
}  // namespace ZOLT
