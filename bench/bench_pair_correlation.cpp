// Pair correlation of one pair of captures, next to OpenCV's own phase correlation on the same
// pair as the reference. Single-threaded: OpenCV's own worker threads are switched off.

#include "SyntheticCaptures.h"

#include <ZOLT/Stitching.h>

#include <benchmark/benchmark.h>
#include <opencv2/imgproc.hpp>

#if defined(__GLIBC__)
#  include <malloc.h>
#endif

#include <chrono>
#include <map>
#include <string>

namespace {

struct CapturePair {
    cv::Mat first;
    cv::Mat second;
};

/// OpenCV's phase correlation allocates its temporaries (8 MB each at 1080p) anew on every call.
/// Keeping freed blocks of that size on the heap spares it fresh page faults, so that it is
/// measured at its best, as the detector is with its reused buffers.
void KeepTemporariesOnTheHeap()
{
#if defined(__GLIBC__)
    static const bool set = mallopt(M_MMAP_THRESHOLD, 32 << 20) != 0 && mallopt(M_TRIM_THRESHOLD, 512 << 20) != 0;
    (void)set;
#endif
}

const CapturePair& PairOfSize(int width, int height)
{
    KeepTemporariesOnTheHeap();
    static std::map<std::pair<int, int>, CapturePair> pairs;
    auto found = pairs.find({width, height});
    if (found == pairs.end()) {
        const cv::Mat page = ZOLT::Testing::MakePage(cv::Size(width, height * 2), 5);
        CapturePair pair{page(cv::Rect(0, 100, width, height)).clone(),
                         page(cv::Rect(0, 100 + height / 3, width, height)).clone()};
        found = pairs.emplace(std::make_pair(width, height), pair).first;
    }
    return found->second;
}

void BM_DetectTranslation(benchmark::State& state)
{
    cv::setNumThreads(0);
    const CapturePair& pair = PairOfSize(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    ZOLT::Stitching::StitcherParameters parameters;
    parameters.direction = static_cast<int>(state.range(2));
    ZOLT::Stitching::PhaseCorrelationTranslationDetector detector(parameters);
    // The detector keeps its buffers from pair to pair; the first pair allocates them.
    benchmark::DoNotOptimize(detector.DetectTranslation(pair.first, pair.second, nullptr));
    for (auto _ : state) {
        benchmark::DoNotOptimize(detector.DetectTranslation(pair.first, pair.second, nullptr));
    }
    state.SetLabel("direction " + std::to_string(parameters.direction));
}

/// A fresh detector for every pair: the buffers are allocated (and their pages first touched)
/// each time.
void BM_DetectTranslationFirstPair(benchmark::State& state)
{
    cv::setNumThreads(0);
    const CapturePair& pair = PairOfSize(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    ZOLT::Stitching::StitcherParameters parameters;
    parameters.direction = static_cast<int>(state.range(2));
    for (auto _ : state) {
        ZOLT::Stitching::PhaseCorrelationTranslationDetector detector(parameters);
        benchmark::DoNotOptimize(detector.DetectTranslation(pair.first, pair.second, nullptr));
    }
    state.SetLabel("direction " + std::to_string(parameters.direction));
}

cv::Point2d OpenCvPhaseCorrelate(const CapturePair& pair)
{
    cv::Mat first;
    cv::Mat second;
    cv::cvtColor(pair.first, first, cv::COLOR_RGBA2GRAY);
    cv::cvtColor(pair.second, second, cv::COLOR_RGBA2GRAY);
    first.convertTo(first, CV_32F);
    second.convertTo(second, CV_32F);
    return cv::phaseCorrelate(first, second);
}

void BM_OpenCvPhaseCorrelate(benchmark::State& state)
{
    cv::setNumThreads(0);
    const CapturePair& pair = PairOfSize(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(OpenCvPhaseCorrelate(pair));
    }
}

/// Both correlations alternately in one loop, so that both see the same machine load; reports
/// the pair correlation's time as a multiple of OpenCV's.
void BM_RatioToOpenCv(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    cv::setNumThreads(0);
    const CapturePair& pair = PairOfSize(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    ZOLT::Stitching::StitcherParameters parameters;
    parameters.direction = static_cast<int>(state.range(2));
    ZOLT::Stitching::PhaseCorrelationTranslationDetector detector(parameters);
    benchmark::DoNotOptimize(detector.DetectTranslation(pair.first, pair.second, nullptr));
    Clock::duration ours{};
    Clock::duration theirs{};
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        benchmark::DoNotOptimize(detector.DetectTranslation(pair.first, pair.second, nullptr));
        const Clock::time_point middle = Clock::now();
        benchmark::DoNotOptimize(OpenCvPhaseCorrelate(pair));
        ours += middle - start;
        theirs += Clock::now() - middle;
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["pair_ms"] = std::chrono::duration<double, std::milli>(ours).count() / iterations;
    state.counters["opencv_ms"] = std::chrono::duration<double, std::milli>(theirs).count() / iterations;
    state.counters["ratio"] =
        std::chrono::duration<double>(ours).count() / std::chrono::duration<double>(theirs).count();
    state.SetLabel("direction " + std::to_string(parameters.direction));
}

}  // namespace

BENCHMARK(BM_DetectTranslation)
    ->Args({1280, 800, 0})
    ->Args({1280, 800, 2})
    ->Args({1920, 1080, 0})
    ->Args({1920, 1080, 2})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetectTranslationFirstPair)
    ->Args({1280, 800, 0})
    ->Args({1280, 800, 2})
    ->Args({1920, 1080, 0})
    ->Args({1920, 1080, 2})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenCvPhaseCorrelate)->Args({1280, 800})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RatioToOpenCv)
    ->Args({1280, 800, 0})
    ->Args({1280, 800, 2})
    ->Args({1920, 1080, 0})
    ->Args({1920, 1080, 2})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
