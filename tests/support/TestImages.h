#pragma once

// Small helpers shared by the test suites: comparing and making images, filling a provider, and
// catching what a call writes to the standard streams.

#include <ZOLT/Providers.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ZOLT {
namespace Testing {

/// Same size, type and pixels.
inline bool SamePixels(const cv::Mat& a, const cv::Mat& b)
{
    return a.size() == b.size() && a.type() == b.type() &&
           (a.empty() || cv::norm(a.reshape(1), b.reshape(1), cv::NORM_INF) == 0.0);
}

/// A matrix of uniformly random bytes; the same seed gives the same matrix.
inline cv::Mat Noise(cv::Size size, std::uint64_t seed, int type = CV_8UC4)
{
    cv::Mat image(size, type);
    cv::RNG(seed).fill(image, cv::RNG::UNIFORM, 0, 256);
    return image;
}

/// A provider holding header copies of `captures`.
inline BasicImageProvider ProviderOf(std::vector<cv::Mat> captures)
{
    BasicImageProvider provider;
    for (cv::Mat& capture : captures) {
        provider.Add(capture);
    }
    return provider;
}

/// What `action` writes to the standard error stream (the standard output is caught and dropped).
inline std::string StderrOf(const std::function<void()>& action)
{
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    action();
    ::testing::internal::GetCapturedStdout();
    return ::testing::internal::GetCapturedStderr();
}

}  // namespace Testing
}  // namespace ZOLT
