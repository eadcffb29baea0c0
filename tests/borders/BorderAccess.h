#pragma once

// Reaches the border detection's private steps and saved strips, and a few helpers shared by
// the border tests. The library's classes befriend TestAccess<Class>.

#include <ZOLT/Borders.h>
#include <ZOLT/Providers.h>

#include "SyntheticCaptures.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace ZOLT {
namespace Stitching {

template <>
struct TestAccess<BasicBorderDetection> {
    static bool FindContent(BasicBorderDetection& detection, IImageProvider& provider, cv::Range& rowRange,
                            cv::Range& colRange)
    {
        const cv::Mat& first = *provider.GetImageAt(0);
        return detection.FindContent(provider, first.size(), rowRange, colRange);
    }

    static bool CheckNearestNeighbors(BasicBorderDetection& detection, const cv::Mat& difference, int row, int col,
                                      bool& isContent)
    {
        return detection.CheckNearestNeighbors(difference, row, col, isContent);
    }

    static cv::Mat Top(const BasicBorderDetection& detection) { return *detection.topBorder_; }
    static cv::Mat Bottom(const BasicBorderDetection& detection) { return *detection.bottomBorder_; }
    static cv::Mat Left(const BasicBorderDetection& detection) { return *detection.leftBorder_; }
    static cv::Mat Right(const BasicBorderDetection& detection) { return *detection.rightBorder_; }
};

}  // namespace Stitching

namespace Testing {

using BorderAccess = Stitching::TestAccess<Stitching::BasicBorderDetection>;

/// A four-channel capture of `size` filled with a fixed pattern, distinct in every pixel's
/// neighbourhood so that any copy from the wrong place shows.
inline cv::Mat PatternCapture(cv::Size size, std::uint64_t seed = 7)
{
    cv::Mat capture(size, CV_8UC4);
    cv::RNG(seed).fill(capture, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(256));
    capture.forEach<cv::Vec4b>([](cv::Vec4b& pixel, const int*) { pixel[3] = 255; });
    return capture;
}

/// A provider holding `captures` (header copies).
inline BasicImageProvider ProviderOf(std::vector<cv::Mat> captures)
{
    BasicImageProvider provider;
    for (cv::Mat& capture : captures) {
        provider.Add(capture);
    }
    return provider;
}

/// `base` with the pixels of `box` set to the grey level `level` (opaque).
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
        cv::Mat capture = frame.clone();
        const cv::Mat part = capture(box);
        cv::add(content, cv::Scalar(150, 150, 150, 0) * (i % 2), part);
        captures.push_back(capture);
    }
    return captures;
}

inline bool SamePixels(const cv::Mat& a, const cv::Mat& b)
{
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

/// The lines `action` writes to the standard error and standard output streams.
struct Streams {
    std::string error;
    std::string output;
};

inline Streams CaptureStreams(const std::function<void()>& action)
{
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    action();
    Streams streams;
    streams.output = ::testing::internal::GetCapturedStdout();
    streams.error = ::testing::internal::GetCapturedStderr();
    return streams;
}

}  // namespace Testing
}  // namespace ZOLT
