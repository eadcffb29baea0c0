// Utilities, similarity and names: CalculateSimilarity, GenerateRandomAlphanumericString. The
// other parts are in CaptureCropping.cpp and ImageBlending.cpp.
//
// Similarity of two captures, and random alphanumeric names drawn from one process-wide engine.

#include <ZOLT/Utilities.h>

#include <opencv2/imgproc.hpp>

#include <chrono>
#include <cstdint>
#include <ratio>

namespace ZOLT {
namespace Stitching {

namespace {

/// The system clock as 100-nanosecond ticks since 1970-01-01 00:00 UTC, reduced to its low
/// 32 bits (the engine's seed type).
std::uint32_t ClockSeed()
{
    using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>;
    const auto ticks = std::chrono::duration_cast<Ticks>(std::chrono::system_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ticks.count()) & 0xFFFFFFFFU);
}

}  // namespace

const std::string Utilities::ALPHANUMERIC_CHARSET = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
std::mt19937 Utilities::RANDOM_ENGINE(ClockSeed());
std::mutex Utilities::RANDOM_ENGINE_MUTEX;

double Utilities::CalculateSimilarity(const cv::Mat& first, const cv::Mat& second)
{
    cv::Mat firstGrey;
    cv::Mat secondGrey;
    cv::cvtColor(first, firstGrey, cv::COLOR_RGBA2GRAY);
    cv::cvtColor(second, secondGrey, cv::COLOR_RGBA2GRAY);

    cv::Mat difference;
    cv::absdiff(firstGrey, secondGrey, difference);
    const double sum = cv::sum(difference)[0];
    return 1.0 - sum / (difference.cols * 255.0 * difference.rows);
}

std::string Utilities::GenerateRandomAlphanumericString(unsigned int length)
{
    std::string result(length, '\0');
    std::uniform_int_distribution<std::uint64_t> distribution(0, ALPHANUMERIC_CHARSET.size() - 1);

    // The engine is shared by every provider and the host; one draw sequence at a time.
    const std::lock_guard<std::mutex> lock(RANDOM_ENGINE_MUTEX);
    for (char& character : result) {
        character = ALPHANUMERIC_CHARSET[distribution(RANDOM_ENGINE)];
    }
    return result;
}

}  // namespace Stitching
}  // namespace ZOLT
